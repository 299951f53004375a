#include "ui/bilinear_frame_scaler.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#if defined(__x86_64__)
#include <immintrin.h>
#define CORVANE_HAS_AVX2_PATH 1
#endif

namespace corvane::ui {

using PixelGroup = BilinearFrameScaler::PixelGroup;

namespace {

// The source bytes the next output row reads.
struct RowsAhead {
  const std::uint8_t* upper = nullptr;
  const std::uint8_t* lower = nullptr;
  int bytes = 0;
};

constexpr int kShift = 6;  // log2(kWeightOne)
constexpr int kRound = 1 << (kShift - 1);
// mulhrs(x, 2^(15 − kShift)) is (x + kRound) >> kShift in one instruction.
constexpr short kRoundingShift = 1 << (15 - kShift);

// One channel of a blend, as the vector paths compute it.
inline std::uint8_t blend(std::uint8_t first, std::uint8_t second, int secondWeight) {
  return static_cast<std::uint8_t>(
      (first * (BilinearFrameScaler::kWeightOne - secondWeight) + second * secondWeight + kRound) >>
      kShift);
}

void blendRowsPortable(const std::uint8_t* upper, const std::uint8_t* lower, int weight,
                       std::uint8_t* out, int bytes) {
  for (int i = 0; i < bytes; ++i) out[i] = blend(upper[i], lower[i], weight);
}

void blendColumnsPortable(const std::uint8_t* row, const int* firsts, const std::uint8_t* weights,
                          std::uint8_t* out, int count) {
  for (int x = 0; x < count; ++x) {
    const std::uint8_t* pair = row + static_cast<std::size_t>(firsts[x]) * 4;
    const int weight = weights[x * 8 + 1];
    for (int channel = 0; channel < 3; ++channel)
      out[x * 4 + channel] = blend(pair[channel], pair[channel + 4], weight);
    out[x * 4 + 3] = 255;
  }
}

void copyRowOpaquePortable(const std::uint8_t* from, std::uint8_t* to, int pixels) {
  for (int x = 0; x < pixels; ++x) {
    std::uint32_t pixel;
    std::memcpy(&pixel, from + x * 4, 4);
    pixel |= 0xFF000000u;
    std::memcpy(to + x * 4, &pixel, 4);
  }
}

#if CORVANE_HAS_AVX2_PATH
__attribute__((target("avx2"))) void copyRowOpaqueAvx2(const std::uint8_t* from, std::uint8_t* to,
                                                       int pixels) {
  const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  int x = 0;
  for (; x + 8 <= pixels; x += 8) {
    const __m256i eight = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + x * 4));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + x * 4), _mm256_or_si256(eight, opaque));
  }
  copyRowOpaquePortable(from + x * 4, to + x * 4, pixels - x);
}

__attribute__((target("avx2"))) void blendRowsAvx2(const std::uint8_t* upper,
                                                   const std::uint8_t* lower, int weight,
                                                   std::uint8_t* out, int bytes) {
  const __m256i weights = _mm256_set1_epi16(
      static_cast<short>((BilinearFrameScaler::kWeightOne - weight) | (weight << 8)));
  const __m256i scaleDown = _mm256_set1_epi16(kRoundingShift);
  int i = 0;
  for (; i + 32 <= bytes; i += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(upper + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lower + i));
    __m256i low = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, b), weights);
    __m256i high = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, b), weights);
    low = _mm256_mulhrs_epi16(low, scaleDown);
    high = _mm256_mulhrs_epi16(high, scaleDown);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_packus_epi16(low, high));
  }
  blendRowsPortable(upper + i, lower + i, weight, out + i, bytes - i);
}

// Each 64-bit lane holds a pixel and its right neighbour; interleaving their channels lets one
// multiply-add per channel give first × (64 − w) + second × w.
__attribute__((target("avx2"))) inline __m256i weighFourPairs(__m256i pairs,
                                                              const std::uint8_t* weights) {
  const __m256i interleave = _mm256_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15,
                                              0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
  const __m256i sums =
      _mm256_maddubs_epi16(_mm256_shuffle_epi8(pairs, interleave),
                           _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights)));
  return _mm256_mulhrs_epi16(sums, _mm256_set1_epi16(kRoundingShift));
}

// The four pairs of a group: one load and one permute when they lie within eight pixels of the
// group's first (every scale down to one half), four loads otherwise.
__attribute__((target("avx2"))) inline __m256i fourPairs(const std::uint8_t* row, const int* firsts,
                                                         const PixelGroup& group) {
  if (group.windowed) {
    const __m256i window = _mm256_loadu_si256(
        reinterpret_cast<const __m256i*>(row + static_cast<std::size_t>(firsts[0]) * 4));
    long long lanes;
    std::memcpy(&lanes, group.lanes, 8);
    return _mm256_permutevar8x32_epi32(window, _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(lanes)));
  }
  const auto pair = [row](int first) {
    long long bits;
    std::memcpy(&bits, row + static_cast<std::size_t>(first) * 4, 8);
    return bits;
  };
  return _mm256_set_epi64x(pair(firsts[3]), pair(firsts[2]), pair(firsts[1]), pair(firsts[0]));
}

__attribute__((target("avx2"))) void blendColumnsAvx2(const std::uint8_t* row, const int* firsts,
                                                      const std::uint8_t* weights,
                                                      const PixelGroup* groups,
                                                      const RowsAhead& ahead, std::uint8_t* out,
                                                      int count) {
  const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  int x = 0;
  for (int offset = 0; x + 8 <= count; x += 8, offset += 128) {
    // This pass computes from the row buffer; let memory bring in the next rows meanwhile.
    if (offset < ahead.bytes) {
      _mm_prefetch(reinterpret_cast<const char*>(ahead.upper + offset), _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(ahead.upper + offset + 64), _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(ahead.lower + offset), _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(ahead.lower + offset + 64), _MM_HINT_T0);
    }
    const __m256i first =
        weighFourPairs(fourPairs(row, firsts + x, groups[x / 4]), weights + x * 8);
    const __m256i second =
        weighFourPairs(fourPairs(row, firsts + x + 4, groups[x / 4 + 1]), weights + x * 8 + 32);
    // packus works per 128-bit lane: restore pixel order 0–1, 2–3, 4–5, 6–7.
    const __m256i packed =
        _mm256_permute4x64_epi64(_mm256_packus_epi16(first, second), _MM_SHUFFLE(3, 1, 2, 0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x * 4), _mm256_or_si256(packed, opaque));
  }
  blendColumnsPortable(row, firsts + x, weights + x * 8, out + x * 4, count - x);
}

#endif

bool hasVectorInstructions() {
#if CORVANE_HAS_AVX2_PATH
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
#else
  return false;
#endif
}

void copyRowOpaque(bool vector, const std::uint8_t* from, std::uint8_t* to, int pixels) {
#if CORVANE_HAS_AVX2_PATH
  if (vector) return copyRowOpaqueAvx2(from, to, pixels);
#endif
  copyRowOpaquePortable(from, to, pixels);
}

void blendRows(bool vector, const std::uint8_t* upper, const std::uint8_t* lower, int weight,
               std::uint8_t* out, int bytes) {
#if CORVANE_HAS_AVX2_PATH
  if (vector) return blendRowsAvx2(upper, lower, weight, out, bytes);
#endif
  blendRowsPortable(upper, lower, weight, out, bytes);
}

void blendColumns(bool vector, const std::uint8_t* row, const int* firsts,
                  const std::uint8_t* weights, const PixelGroup* groups, const RowsAhead& ahead,
                  std::uint8_t* out, int count) {
#if CORVANE_HAS_AVX2_PATH
  if (vector) return blendColumnsAvx2(row, firsts, weights, groups, ahead, out, count);
#else
  (void)vector;
  (void)groups;
  (void)ahead;
#endif
  blendColumnsPortable(row, firsts, weights, out, count);
}

}  // namespace

BilinearFrameScaler::BilinearFrameScaler(Instructions instructions,
                                         std::shared_ptr<runtime::WorkerThreads> workers)
    : vectorInstructions_(instructions == Instructions::best && hasVectorInstructions()),
      workers_(std::move(workers)) {}

void BilinearFrameScaler::copyOpaque(bool vector, const SourcePixels& source,
                                     const ScaledArea& area, const TargetPixels& target) {
  for (int y = 0; y < area.height; ++y) {
    const std::uint8_t* from = source.data +
                               static_cast<std::size_t>(area.y + y) * source.bytesPerRow +
                               static_cast<std::size_t>(area.x) * 4;
    copyRowOpaque(vector, from, target.data + static_cast<std::size_t>(y) * target.bytesPerRow,
                  area.width);
  }
}

std::vector<BilinearFrameScaler::Tap> BilinearFrameScaler::taps(int sourceLength, int scaledLength,
                                                                int from, int count) {
  std::vector<Tap> result(static_cast<std::size_t>(count));
  const double step = static_cast<double>(sourceLength) / scaledLength;
  for (int i = 0; i < count; ++i) {
    const double position =
        std::clamp((from + i + 0.5) * step - 0.5, 0.0, static_cast<double>(sourceLength - 1));
    int first = static_cast<int>(position);
    if (sourceLength >= 2) first = std::min(first, sourceLength - 2);
    const int weight =
        sourceLength >= 2 ? static_cast<int>(std::lround((position - first) * kWeightOne)) : 0;
    result[static_cast<std::size_t>(i)] = Tap{first, weight};
  }
  return result;
}

void BilinearFrameScaler::makeColumnTables(const Span& span) {
  const auto columns = taps(span.sourceLength, span.scaledLength, span.from, span.count);
  firsts_.resize(columns.size());
  columnWeights_.resize(columns.size() * 8);
  for (std::size_t x = 0; x < columns.size(); ++x) {
    firsts_[x] = columns[x].first;
    for (int channel = 0; channel < 4; ++channel) {
      columnWeights_[x * 8 + channel * 2] =
          static_cast<std::uint8_t>(kWeightOne - columns[x].weight);
      columnWeights_[x * 8 + channel * 2 + 1] = static_cast<std::uint8_t>(columns[x].weight);
    }
  }
  // Groups of four output pixels whose pairs lie within eight source pixels (and inside the
  // row) are gathered with one load.
  groups_.assign(columns.size() / 4, PixelGroup{});
  for (std::size_t group = 0; group < groups_.size(); ++group) {
    const int base = firsts_[group * 4];
    if (firsts_[group * 4 + 3] + 1 - base >= 8 || base + 8 > span.sourceLength) continue;
    groups_[group].windowed = true;
    for (int i = 0; i < 4; ++i) {
      groups_[group].lanes[i * 2] = static_cast<std::uint8_t>(firsts_[group * 4 + i] - base);
      groups_[group].lanes[i * 2 + 1] =
          static_cast<std::uint8_t>(firsts_[group * 4 + i] - base + 1);
    }
  }
}

void BilinearFrameScaler::scale(const SourcePixels& source, int scaledWidth, int scaledHeight,
                                const ScaledArea& area, const TargetPixels& target,
                                const RowsWritten& rowsWritten) {
  if (source.width <= 0 || source.height <= 0 || area.width <= 0 || area.height <= 0) return;
  if (scaledWidth == source.width && scaledHeight == source.height) {
    copyOpaque(vectorInstructions_, source, area, target);
    if (rowsWritten) rowsWritten(area.height);
    return;
  }
  // The tables depend on the geometry alone: frame after frame of a share they stay the same.
  if (const Span columns{source.width, scaledWidth, area.x, area.width}; columns != columnSpan_) {
    makeColumnTables(columns);
    columnSpan_ = columns;
  }
  if (const Span rows{source.height, scaledHeight, area.y, area.height}; rows != rowSpan_) {
    rowTaps_ = taps(rows.sourceLength, rows.scaledLength, rows.from, rows.count);
    rowSpan_ = rows;
  }
  // The source columns the area reads.
  const int firstColumn = firsts_.front();
  const int endColumn = std::min(firsts_.back() + 2, source.width);
  const int spanBytes = (endColumn - firstColumn) * 4;
  const auto& rows = rowTaps_;
  const int runs = workers_ && std::int64_t{area.width} * area.height >= kSharedPixels
                       ? static_cast<int>(std::min<std::int64_t>(
                             area.height, std::int64_t{area.width} * area.height / kRunPixels))
                       : 1;
  const auto firstRow = [&](int run) { return area.height * run / runs; };
  if (runs == 1) {
    scaleRows(source, rows, 0, area.height, firstColumn, spanBytes, area.width, target);
    if (rowsWritten) rowsWritten(area.height);
    return;
  }
  // Runs are taken in order, so the rows get written roughly top to bottom; the calling thread
  // tells between its runs how far the rows are written without a gap.
  const auto written = std::make_unique<std::atomic<bool>[]>(static_cast<std::size_t>(runs));
  const auto caller = std::this_thread::get_id();
  int told = 0;
  const auto tell = [&] {
    int ready = told;
    while (ready < runs && written[static_cast<std::size_t>(ready)].load(std::memory_order_acquire))
      ++ready;
    if (ready == told) return;
    told = ready;
    rowsWritten(firstRow(ready));
  };
  workers_->forEach(runs, [&](int run) {
    scaleRows(source, rows, firstRow(run), firstRow(run + 1), firstColumn, spanBytes, area.width,
              target);
    written[static_cast<std::size_t>(run)].store(true, std::memory_order_release);
    if (rowsWritten && std::this_thread::get_id() == caller) tell();
  });
  if (rowsWritten) tell();
}

void BilinearFrameScaler::scaleRows(const SourcePixels& source, const std::vector<Tap>& rows,
                                    int from, int to, int firstColumn, int spanBytes, int width,
                                    const TargetPixels& target) const {
  // One pixel wider than the source, so that reading a pixel's right neighbour never leaves it
  // (that neighbour's weight is 0 there).
  thread_local std::vector<std::uint8_t> row;
  row.resize(static_cast<std::size_t>(source.width + 1) * 4);
  std::fill(row.end() - 4, row.end(), 0);
  const auto sourceRow = [&source, firstColumn](int index) {
    return source.data +
           static_cast<std::size_t>(std::min(index, source.height - 1)) * source.bytesPerRow +
           firstColumn * 4;
  };
  for (int y = from; y < to; ++y) {
    const Tap& tap = rows[static_cast<std::size_t>(y)];
    const std::uint8_t* blended = sourceRow(tap.first) - firstColumn * 4;
    if (tap.weight != 0 || source.width < 2) {
      blendRows(vectorInstructions_, sourceRow(tap.first), sourceRow(tap.first + 1), tap.weight,
                row.data() + firstColumn * 4, spanBytes);
      blended = row.data();
    }
    RowsAhead ahead;
    if (y + 1 < to) {
      const int next = rows[static_cast<std::size_t>(y) + 1].first;
      ahead = RowsAhead{sourceRow(next), sourceRow(next + 1), spanBytes};
    }
    blendColumns(vectorInstructions_, blended, firsts_.data(), columnWeights_.data(),
                 groups_.data(), ahead,
                 target.data + static_cast<std::size_t>(y) * target.bytesPerRow, width);
  }
}

}  // namespace corvane::ui
