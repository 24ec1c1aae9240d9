#include "common/ErrorCode.h"

#include "common/StatusTable.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>

namespace {

// Worked out arithmetically rather than with the registry's shift, so that a wrong shift or mask
// there is not mirrored here.
int StatusValue(int category, int code) {
    return category * 65536 + code;
}

// The registration test writes these keys; the key-set test leaves them out, so that neither the
// order the tests run in nor repeating them changes its outcome.
constexpr int kScratchCategory = 99;
constexpr int kScratchCode = 7;

TEST(ErrorCodeRegistry, HoldsExactlyTheRegisteredStatusesWithDistinctMessages) {
    // Every registered status, as inclusive code ranges per category: category, first, last.
    const int ranges[][3] = {
        {0, 0, 1},      {0, 3, 30},     {0, 32, 67},    {1, 83, 89},    {1, 96, 125},
        {2, 117, 125},  {3, 121, 125},  {4, 92, 93},    {4, 95, 125},   {10, 116, 125},
        {18, 114, 115}, {18, 117, 125}, {20, 125, 125}, {24, 107, 109}, {24, 112, 125},
        {35, 122, 125}, {44, 121, 125}, {58, 123, 125}, {61, 122, 125},
    };
    std::map<int, std::set<int>> expected;
    for (const auto& [category, first, last] : ranges) {
        for (int code = first; code <= last; ++code) {
            expected[category].insert(StatusValue(category, code));
        }
    }

    // Category 0 is the general map; the category map keys its inner maps by full status value.
    std::map<int, std::map<int, std::string>> registered = GetCategoryErrorMap();
    registered.erase(kScratchCategory);
    ASSERT_EQ(registered.count(0), 0u);
    registered[0] = GetGeneralErrorMap();
    registered[0].erase(StatusValue(-1, kScratchCode));
    std::map<int, std::set<int>> keys;
    std::set<std::string> messages;
    for (const auto& [category, statuses] : registered) {
        for (const auto& [value, message] : statuses) {
            keys[category].insert(value);
            messages.insert(message);
        }
    }
    EXPECT_EQ(keys, expected);
    // 205 statuses, each with its own message: a copied line would repeat one.
    EXPECT_EQ(messages.size(), 205u);
    EXPECT_EQ(messages.count(""), 0u);
}

TEST(ErrorCodeRegistry, FixedStatusesHaveExactValuesAndMessages) {
    namespace S = Quendal::Status;
    // The statuses this module returns, with the chassis library's failures 1, 3 and 4 that it
    // passes on and the tool prints with these texts; then ones whose value or text is easy to
    // get wrong. Built inside the test: a namespace-scope table would copy the constants during
    // static initialisation, possibly before the registry's translation unit has set them.
    const std::tuple<int, int, int, const char*> rows[] = {
        {S::SUCCEED, 0, 0, "Succeed."},
        {S::GENERIC_FAILURE, 0, 1, "Generic Failure."},
        {S::INVALID_PARAMETER, 0, 3, "Invalid parameter."},
        {S::MISSING_REQUIRED_PARAMETER, 0, 4, "A required parameter is missing."},
        {S::INTERNAL_ERROR, 0, 17, "Internal error."},
        {S::FAILED_TO_GET_OS_TYPE, 1, 111, "Failed to get OS type."},
        {S::OS_NOT_SUPPORTED, 1, 112, "Current Operating System is not supported."},
        {S::UPDATE_STAGED, 1, 86, "Staged"},
        {S::UPDATE_PACKAGE_SKIPPED, 1, 125, "Skip updating this package."},
        {S::LIBCURL_READ_LOCAL_FILE_FAILED, 2, 122, "Libcurl error: Read local file error."},
        {S::FAILED_TO_GET_FFDC_LOG, 18, 119, "Failed to get FFDC log. "},
        {S::RAID_FAILED_ON_ALL_TARGETS, 24, 117, "The operation fails on all targets."},
        {S::CHASSIS_POWER_OFF_REQUIRED, 61, 124,
         "The Chassis requires to be powered off to perform this request. "},
    };
    for (const auto& [constant, category, code, message] : rows) {
        SCOPED_TRACE(message);
        EXPECT_EQ(constant, StatusValue(category, code));
        const std::map<int, std::string>& messages =
            category == 0 ? GetGeneralErrorMap() : GetCategoryErrorMap().at(category);
        const auto found = messages.find(constant);
        ASSERT_NE(found, messages.end());
        EXPECT_EQ(found->second, message);
    }
}

// A second registration replaces the text and keeps the value; the text is copied up to its
// first NUL, trailing blank included, so the caller's buffer may change afterwards; a negative
// category counts as general.
TEST(ErrorCodeRegistry, RegisteringAgainReplacesTheMessageAndKeepsTheValue) {
    char second[] = "second \0tail";
    for (const int category : {kScratchCategory, -1}) {
        EXPECT_EQ(RegisterErrorCode(category, kScratchCode, "first"),
                  StatusValue(category, kScratchCode));
        EXPECT_EQ(RegisterErrorCode(category, kScratchCode, second),
                  StatusValue(category, kScratchCode));
    }
    second[0] = 'X';
    const int scratch = StatusValue(kScratchCategory, kScratchCode);
    EXPECT_EQ(GetCategoryErrorMap().at(kScratchCategory),
              (std::map<int, std::string>{{scratch, "second "}}));
    EXPECT_EQ(GetGeneralErrorMap().count(scratch), 0u);
    EXPECT_EQ(GetCategoryErrorMap().count(-1), 0u);
    EXPECT_EQ(GetGeneralErrorMap().at(StatusValue(-1, kScratchCode)), "second ");
}

// The table the tool reads its texts from holds what the registry holds, value for value and
// text for text: both come from StatusList.h, one by static initialisers, one by the compiler.
TEST(StatusTable, HoldsExactlyWhatTheRegistryHolds) {
    std::map<int, std::string> registered = GetGeneralErrorMap();
    registered.erase(StatusValue(-1, kScratchCode));
    for (const auto& [category, statuses] : GetCategoryErrorMap()) {
        if (category != kScratchCategory) {
            registered.insert(statuses.begin(), statuses.end());
        }
    }
    std::map<int, std::string> tabled;
    for (const auto& entry : Quendal::Status::kStatusTable) {
        tabled.emplace(entry.value, std::string(entry.message));
    }
    EXPECT_EQ(tabled.size(), std::size(Quendal::Status::kStatusTable));
    EXPECT_EQ(tabled, registered);
    for (const auto& [value, message] : registered) {
        const auto* found = Quendal::Status::FindStatus(value);
        ASSERT_NE(found, nullptr) << value;
        EXPECT_EQ(found->message, message);
    }
    EXPECT_EQ(Quendal::Status::FindStatus(StatusValue(0, 2)), nullptr);
}

}  // namespace
