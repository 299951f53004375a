#include <gtest/gtest.h>

#include <cstring>

#include "operations/crash_report.h"
#include "operations/crash_signal_marker.h"
#include "operations/signal_marker_reports.h"

namespace corvane::operations {
namespace {

runtime::WallTime at(const std::string& iso) {
  runtime::WallTime time;
  EXPECT_TRUE(runtime::parseISO8601(iso, time)) << iso;
  return time;
}

ApplicationIdentity identity() {
  return ApplicationIdentity{"2.4", "241", "Linux 6.1.0 x86_64"};
}

TEST(CrashReportTest, EncodesFieldsUnderTheirNamesAndLeavesOutAbsentOnes) {
  CrashReport report =
      CrashReport::make("std::runtime_error", "disk/full", at("2026-03-01T09:30:00Z"), identity());
  report.eventID = "0123456789abcdef0123456789abcdef";
  EXPECT_EQ(report.encode(),
            R"({"eventID":"0123456789abcdef0123456789abcdef","timestamp":"2026-03-01T09:30:00Z",)"
            R"("type":"std::runtime_error","reason":"disk\/full","appVersion":"2.4",)"
            R"("buildNumber":"241","operatingSystem":"Linux 6.1.0 x86_64"})");
}

TEST(CrashReportTest, RoundTripsThroughItsFileForm) {
  CrashReport report = CrashReport::make("POSIXSignal", "Process terminated by signal 11",
                                         at("2026-03-01T09:30:00Z"), identity());
  report = report.recordingUploadFailure(at("2026-03-02T10:00:00Z"));
  auto decoded = CrashReport::decode(report.encode());
  ASSERT_TRUE(decoded.ok()) << decoded.message();
  EXPECT_EQ(*decoded, report);
}

TEST(CrashReportTest, RefusesFilesThatAreNotReports) {
  EXPECT_FALSE(CrashReport::decode("").ok());
  EXPECT_FALSE(CrashReport::decode("[1,2]").ok());
  EXPECT_FALSE(CrashReport::decode(R"({"eventID":"x"})").ok());
  EXPECT_FALSE(
      CrashReport::decode(R"({"eventID":"a","timestamp":"yesterday","type":"t","reason":"r",)"
                          R"("appVersion":"1","buildNumber":"1","operatingSystem":"L"})")
          .ok());
  EXPECT_FALSE(
      CrashReport::decode(
          R"({"eventID":"a","timestamp":"2026-03-01T09:30:00Z","type":"t","reason":"r",)"
          R"("appVersion":"1","buildNumber":"1","operatingSystem":"L","uploadAttempts":-3})")
          .ok());
}

TEST(CrashReportTest, EventIdentifiersAre32LowercaseHexDigitsAndDiffer) {
  const std::string a = makeEventID();
  const std::string b = makeEventID();
  EXPECT_EQ(a.size(), 32u);
  EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(a, b);
}

TEST(CrashReportTest, BackOffDoublesFromAMinuteUpToADay) {
  const double expected[] = {60, 120, 240, 480, 960, 1920, 3840, 7680, 15360, 30720, 61440, 86400};
  for (int attempt = 1; attempt <= 12; ++attempt) {
    EXPECT_EQ(uploadBackoffSeconds(attempt), expected[attempt - 1]) << attempt;
  }
  EXPECT_EQ(uploadBackoffSeconds(16), 86400);
  EXPECT_EQ(uploadBackoffSeconds(400), 86400);
}

TEST(CrashReportTest, RecordingAFailureCountsItAndSchedulesTheNextAttempt) {
  const auto now = at("2026-03-02T10:00:00Z");
  CrashReport report = CrashReport::make("t", "r", now, identity());
  const CrashReport first = report.recordingUploadFailure(now);
  EXPECT_EQ(first.uploadAttempts, 1);
  EXPECT_EQ(first.lastUploadFailureAt, now);
  EXPECT_EQ(runtime::secondsBetween(now, *first.nextUploadAttemptAt), 60);

  report.uploadAttempts = 20;
  const CrashReport late = report.recordingUploadFailure(now);
  EXPECT_EQ(late.uploadAttempts, 21);
  EXPECT_EQ(runtime::secondsBetween(now, *late.nextUploadAttemptAt), 86400);
}

TEST(SignalMarkerTest, EachValidLineBecomesAReportStampedWithThePromotingStart) {
  const auto now = at("2026-03-02T10:00:00Z");
  auto reports = signalReports("signal=11\nsignal=6\n", now, identity());
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].reason, "Process terminated by signal 11");
  EXPECT_EQ(reports[1].reason, "Process terminated by signal 6");
  for (const auto& report : reports) {
    EXPECT_EQ(report.type, "POSIXSignal");
    EXPECT_EQ(report.timestamp, now);
    EXPECT_EQ(report.appVersion, "2.4");
    EXPECT_FALSE(report.uploadAttempts.has_value());
  }
  EXPECT_NE(reports[0].eventID, reports[1].eventID);
}

TEST(SignalMarkerTest, SkipsLinesThatAreNotExactlyASignedDecimal) {
  const auto now = at("2026-03-02T10:00:00Z");
  const std::string text =
      "signal= 11\nsignal=\nsignal=1x\nSIGNAL=4\nnoise\r\nsignal=+7\rsignal=-2\v\f"
      "signal=99999999999\xE2\x80\xA8signal=8\xC2\x85";
  auto reports = signalReports(text, now, identity());
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0].reason, "Process terminated by signal 7");
  EXPECT_EQ(reports[1].reason, "Process terminated by signal -2");
  EXPECT_EQ(reports[2].reason, "Process terminated by signal 8");
}

TEST(SignalMarkerTest, FormatsTheMarkerLineWithoutTheLibrary) {
  char buffer[32];
  auto line = [&](int signal) {
    return std::string(buffer, static_cast<std::size_t>(formatSignalMarker(signal, buffer)));
  };
  EXPECT_EQ(line(11), "signal=11\n");
  EXPECT_EQ(line(0), "signal=0\n");
  EXPECT_EQ(line(-5), "signal=-5\n");
  EXPECT_EQ(line(-2147483647 - 1), "signal=-2147483648\n");
}

}  // namespace
}  // namespace corvane::operations
