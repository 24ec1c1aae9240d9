#include "common/ErrorCode.h"

#include "common/StatusTable.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>

namespace {

// Worked out arithmetically rather than with the registry's shift, so that a wrong shift or mask
// there is not mirrored here.
int StatusValue(int category, int code) {
    return category * 65536 + code;
}

// The registration test writes these keys; the others leave them out, so that neither the order
// the tests run in nor repeating them changes their outcome.
constexpr int kScratchCategory = 99;
constexpr int kScratchCode = 7;

// Every status as tests/data/status-texts.tsv lists it: value -> (category, text). The list is
// kept by hand, apart from common/StatusList.h, so that a changed word in either fails here.
std::map<int, std::pair<int, std::string>> ListedStatuses() {
    std::ifstream file(QUENDAL_SOURCE_DIR "/tests/data/status-texts.tsv");
    EXPECT_TRUE(file.is_open());
    std::map<int, std::pair<int, std::string>> listed;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        int category = -1;
        int code = -1;
        std::string text;
        fields >> category >> code >> std::ws;
        std::getline(fields, text);
        EXPECT_TRUE(text.size() >= 2 && text.front() == '"' && text.back() == '"') << line;
        EXPECT_TRUE(listed
                        .emplace(StatusValue(category, code),
                                 std::make_pair(category, text.substr(1, text.size() - 2)))
                        .second)
            << line;
    }
    return listed;
}

// Category 0 lives in the general map, the others in the category map, keyed by full value.
TEST(ErrorCodeRegistry, HoldsExactlyTheListedStatusesAndTexts) {
    std::map<int, std::pair<int, std::string>> registered;
    for (const auto& [value, message] : GetGeneralErrorMap()) {
        if (value != StatusValue(-1, kScratchCode)) {
            registered.emplace(value, std::make_pair(0, message));
        }
    }
    for (const auto& [category, statuses] : GetCategoryErrorMap()) {
        EXPECT_NE(category, 0);
        for (const auto& [value, message] : statuses) {
            if (category != kScratchCategory) {
                registered.emplace(value, std::make_pair(category, message));
            }
        }
    }
    const auto listed = ListedStatuses();
    EXPECT_EQ(listed.size(), 205u);
    EXPECT_EQ(registered, listed);
}

// The table the tool reads its texts from holds the same, found by value.
TEST(StatusTable, HoldsExactlyTheListedStatusesAndTexts) {
    std::map<int, std::pair<int, std::string>> tabled;
    for (const auto& entry : Quendal::Status::kStatusTable) {
        tabled.emplace(entry.value, std::make_pair(entry.value >> 16, std::string(entry.message)));
        EXPECT_EQ(Quendal::Status::FindStatus(entry.value), &entry);
    }
    EXPECT_EQ(tabled, ListedStatuses());
    EXPECT_EQ(Quendal::Status::FindStatus(StatusValue(0, 2)), nullptr);
}

TEST(ErrorCodeRegistry, NamedStatusesHaveTheirValues) {
    namespace S = Quendal::Status;
    // The statuses this module returns, and the chassis library's failures it passes on.
    const std::tuple<int, int, int> rows[] = {
        {S::SUCCEED, 0, 0},
        {S::GENERIC_FAILURE, 0, 1},
        {S::INVALID_PARAMETER, 0, 3},
        {S::MISSING_REQUIRED_PARAMETER, 0, 4},
        {S::INTERNAL_ERROR, 0, 17},
        {S::FAILED_TO_GET_OS_TYPE, 1, 111},
        {S::OS_NOT_SUPPORTED, 1, 112},
    };
    for (const auto& [constant, category, code] : rows) {
        EXPECT_EQ(constant, StatusValue(category, code)) << category << "-" << code;
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

}  // namespace
