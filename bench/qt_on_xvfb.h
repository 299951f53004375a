#pragma once

// The main() of a benchmark that runs Qt's xcb platform on a private Xvfb of its own: the server
// (and, when asked, openbox on it), the application object, then the benchmarks.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>

#include "support/x11/xvfb_server.h"

namespace corvane::bench {

inline int runOnPrivateXServer(int argc, char** argv, int width, int height,
                               bool withWindowManager = false) {
  corvane::testing::XvfbServer server(width, height);
  if (!server.ok() || (withWindowManager && !server.startWindowManager())) {
    std::fprintf(stderr, "Xvfb did not start\n");
    return 1;
  }
  qputenv("DISPLAY", server.name().c_str());
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);
  if (qApp->nativeInterface<QNativeInterface::QX11Application>() == nullptr) {
    std::fprintf(stderr, "Qt's xcb platform is not there\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace corvane::bench
