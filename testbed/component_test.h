// The GoogleTest fixture of the tests that drive the real component: each test runs in a
// single-threaded apartment of its own, with the component loaded from beside the test program.
#pragma once

#include "base/Owners.h"
#include "testbed/apartment.h"
#include "testbed/automation.h"
#include "testbed/component.h"
#include "testbed/temp_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testbed {

using base::ComPtr;

// A new object of the class through IDispatch; a failed creation fails the test.
ComPtr<IDispatch> CreateDispatch(REFCLSID clsid);

class ComponentTest : public ::testing::Test {
protected:
    void SetUp() override;

    // A path for a file of this test in the temporary folder; the file goes with the test.
    std::wstring TempPath(std::wstring_view suffix);

private:
    Apartment apartment_; // left last, after every object of the test has gone
    std::vector<ScratchFile> tempFiles_;
};

} // namespace testbed
