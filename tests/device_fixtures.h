// The device tests' fixtures: these tests need a kernel with uinput (and
// some a udev daemon); on other machines they skip, saying why, and in the
// test VM they must run. A case that hangs is ended after a minute, with
// where it waits.
#pragma once

#include <gtest/gtest.h>

#include <string>

// Skips the test, saying why, when missing (a reason) is not empty; fails
// instead where KEYCONV_DEVICE_TESTS=required (the test VM).
#define REQUIRE(missing)                               \
  do {                                                 \
    const std::string missing_ = (missing);            \
    if (!missing_.empty()) {                           \
      if (device_tests_required()) FAIL() << missing_; \
      GTEST_SKIP() << missing_;                        \
    }                                                  \
  } while (false)

std::string device_tests_unavailable();
std::string udev_tests_unavailable();
bool device_tests_required();

// The test VM's accelerator ("tcg", "kvm"), as its harness gives it on the
// kernel's command line; empty elsewhere.
std::string vm_accelerator();

// The device tests' fixtures: each test needs virtual devices, and those of
// the udev path a udev daemon too.
struct DeviceTest : ::testing::Test {
  void SetUp() override { REQUIRE(device_tests_unavailable()); }
};
struct UdevTest : ::testing::Test {
  void SetUp() override { REQUIRE(udev_tests_unavailable()); }
};
