#pragma once
// A fixture that keeps the framework's reports for the test to read, instead of showing
// them: g_reports, in the order they came.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/ExceptionReport.h"

namespace test {

inline std::vector<std::string> g_reports;

class RecordedReportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_reports.clear();
        m_previous =
            veltrane::SetFrameworkReportSink([](const char* text) { g_reports.push_back(text); });
    }
    void TearDown() override { veltrane::SetFrameworkReportSink(m_previous); }

private:
    veltrane::FrameworkReportSink m_previous = nullptr;
};

}  // namespace test
