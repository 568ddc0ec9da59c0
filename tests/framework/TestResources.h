#pragma once
// Resources of the test programs beside the progress dialog's template.

#define IDD_FRAMEWORK_TEST 200
#define IDC_TEST_MORE 201
#define IDC_TEST_TEXT 202
#define IDD_MISSING_TEMPLATE 299
