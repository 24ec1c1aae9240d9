#include "common/ErrorCode.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <set>
#include <string>

namespace {

struct CodeRange {
    int category;
    int first;
    int last;
};

// Every registered status, as inclusive code ranges per category.
constexpr CodeRange kRanges[] = {
    {0, 0, 1},      {0, 3, 30},     {0, 32, 67},    {1, 83, 89},    {1, 96, 125},
    {2, 117, 125},  {3, 121, 125},  {4, 92, 93},    {4, 95, 125},   {10, 116, 125},
    {18, 114, 115}, {18, 117, 125}, {20, 125, 125}, {24, 107, 109}, {24, 112, 125},
    {35, 122, 125}, {44, 121, 125}, {58, 123, 125}, {61, 122, 125},
};
constexpr std::size_t kExpectedTotal = 205;

// Computed arithmetically rather than with the shift the registry uses, so a wrong shift or
// mask there cannot be mirrored here.
int StatusValue(int category, int code) {
    return category * 65536 + code;
}

// The registration tests write these two keys. The key-set checks strip them from a copy, so the
// outcome does not depend on which tests ran first or how often.
constexpr int kScratchCategory = 99;
constexpr int kScratchCode = 7;
const int kScratchCategoryValue = StatusValue(kScratchCategory, kScratchCode);
const int kScratchGeneralValue = StatusValue(-1, kScratchCode);

std::map<int, std::set<int>> ExpectedKeys() {
    std::map<int, std::set<int>> keys;
    for (const CodeRange& range : kRanges) {
        for (int code = range.first; code <= range.last; ++code) {
            keys[range.category].insert(StatusValue(range.category, code));
        }
    }
    return keys;
}

std::set<int> KeysOf(const std::map<int, std::string>& messages) {
    std::set<int> keys;
    for (const auto& entry : messages)
        keys.insert(entry.first);
    return keys;
}

std::map<int, std::string> RegisteredGeneral() {
    std::map<int, std::string> general = GetGeneralErrorMap();
    general.erase(kScratchGeneralValue);
    return general;
}

std::map<int, std::map<int, std::string>> RegisteredByCategory() {
    std::map<int, std::map<int, std::string>> by_category = GetCategoryErrorMap();
    by_category.erase(kScratchCategory);
    return by_category;
}

TEST(ErrorCodeRegistry, HoldsExactlyTheExpectedNumberOfStatuses) {
    std::size_t expected = 0;
    for (const auto& category : ExpectedKeys())
        expected += category.second.size();
    ASSERT_EQ(expected, kExpectedTotal) << "the range table above is itself wrong";

    std::size_t registered = RegisteredGeneral().size();
    for (const auto& category : RegisteredByCategory())
        registered += category.second.size();
    EXPECT_EQ(registered, kExpectedTotal);
}

TEST(ErrorCodeRegistry, GeneralMapHoldsExactlyCategoryZero) {
    EXPECT_EQ(KeysOf(RegisteredGeneral()), ExpectedKeys().at(0));
}

// The expected sets hold full status values, so this also proves the inner maps are keyed by
// value (category 1 code 111 under 65647) rather than by the bare code.
TEST(ErrorCodeRegistry, CategoryMapHoldsEachCategoryUnderFullValues) {
    std::map<int, std::set<int>> expected = ExpectedKeys();
    expected.erase(0);
    const auto registered = RegisteredByCategory();

    std::set<int> registered_categories;
    for (const auto& category : registered)
        registered_categories.insert(category.first);
    std::set<int> expected_categories;
    for (const auto& category : expected)
        expected_categories.insert(category.first);
    ASSERT_EQ(registered_categories, expected_categories);

    for (const auto& category : expected) {
        EXPECT_EQ(KeysOf(registered.at(category.first)), category.second)
            << "category " << category.first;
    }
}

TEST(ErrorCodeRegistry, FixedStatusesHaveExactValuesAndMessages) {
    namespace S = Quendal::Status;
    struct Row {
        int constant;
        int category;
        int code;
        int value;
        const char* message;
    };
    // Built inside the test: a namespace-scope table would copy the constants during static
    // initialisation, possibly before the registry's translation unit has set them.
    const Row rows[] = {
        {S::SUCCEED, 0, 0, 0, "Succeed."},
        {S::GENERIC_FAILURE, 0, 1, 1, "Generic Failure."},
        {S::INTERNAL_ERROR, 0, 17, 17, "Internal error."},
        {S::FAILED_TO_GET_OS_TYPE, 1, 111, 65647, "Failed to get OS type."},
        {S::OS_NOT_SUPPORTED, 1, 112, 65648, "Current Operating System is not supported."},
        {S::FUNCTION_NOT_SUPPORTED, 0, 25, 25, "Function is not supported on target system."},
        {S::SOME_TASKS_FAILED, 0, 58, 58, "One or more tasks failed."},
        {S::SOME_TASKS_SKIPPED, 0, 59, 59, "One or more tasks skipped."},
        {S::UPDATE_STAGED, 1, 86, 65622, "Staged"},
        {S::UPDATE_PACKAGE_SKIPPED, 1, 125, 65661, "Skip updating this package."},
        {S::LIBCURL_READ_LOCAL_FILE_FAILED, 2, 122, 131194,
         "Libcurl error: Read local file error."},
        {S::FAILED_TO_GET_FFDC_LOG, 18, 119, 1179767, "Failed to get FFDC log. "},
        {S::RAID_FAILED_ON_ALL_TARGETS, 24, 117, 1572981, "The operation fails on all targets."},
        {S::CHASSIS_POWER_OFF_REQUIRED, 61, 124, 3997820,
         "The Chassis requires to be powered off to perform this request. "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        ASSERT_EQ(StatusValue(row.category, row.code), row.value) << "row itself is wrong";
        EXPECT_EQ(row.constant, row.value);
        const std::map<int, std::string>& messages =
            row.category == 0 ? GetGeneralErrorMap() : GetCategoryErrorMap().at(row.category);
        ASSERT_EQ(messages.count(row.value), 1u);
        EXPECT_EQ(messages.at(row.value), row.message);
    }
}

TEST(ErrorCodeRegistry, EveryMessageIsNonEmptyAndDistinct) {
    std::map<std::string, int> first_value_of;
    auto check = [&first_value_of](const std::map<int, std::string>& messages) {
        for (const auto& [value, message] : messages) {
            EXPECT_FALSE(message.empty()) << "status " << value;
            const auto [it, inserted] = first_value_of.emplace(message, value);
            EXPECT_TRUE(inserted) << "statuses " << it->second << " and " << value << " share \""
                                  << message << "\"";
        }
    };
    check(RegisteredGeneral());
    for (const auto& category : RegisteredByCategory())
        check(category.second);
}

TEST(ErrorCodeRegistry, RegisteringAgainReplacesTheMessageAndKeepsTheValue) {
    struct Case {
        int category;
        int expected_value;
        bool in_general_map;
    };
    const Case cases[] = {
        {kScratchCategory, kScratchCategoryValue, false},
        {-1, kScratchGeneralValue, true},  // signed comparison: negative means general
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.category);
        EXPECT_EQ(RegisterErrorCode(c.category, kScratchCode, "first"), c.expected_value);
        // Only the text up to the first NUL counts; the trailing blank must survive.
        const char replacement[] = "second \0tail";
        EXPECT_EQ(RegisterErrorCode(c.category, kScratchCode, replacement), c.expected_value);

        const auto& general = GetGeneralErrorMap();
        const auto& by_category = GetCategoryErrorMap();
        EXPECT_EQ(general.count(c.expected_value), c.in_general_map ? 1u : 0u);
        EXPECT_EQ(by_category.count(c.category), c.in_general_map ? 0u : 1u);
        const std::map<int, std::string>& holder =
            c.in_general_map ? general : by_category.at(c.category);
        if (!c.in_general_map) {
            EXPECT_EQ(holder.size(), 1u) << "a second registration must not add an entry";
        }
        EXPECT_EQ(holder.at(c.expected_value), "second ");
    }
}

}  // namespace
