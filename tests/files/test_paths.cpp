// Path and pattern rules.
#include <gtest/gtest.h>

#include <random>

#include "files/file_system.h"

namespace {

struct PathCase {
    const char* name;
    bool wildcards;
    bool valid;
};

TEST(PathRules, IsValidPath)
{
    const PathCase cases[] = {
        {"images/a.jpg", false, true},
        {"/images/a.jpg", false, true},
        {"a", false, true},
        {"a.b.c", false, true},
        {"", false, false},
        {"images\\a.jpg", false, false},
        {"images//a.jpg", false, false},
        {"images/../a.jpg", false, false},
        {"a..b", false, false},
        {"./a.jpg", false, false},
        {"images./a.jpg", false, false},
        {"images/", false, false},
        {"/", false, false},
        {"*.jpg", false, false},
        {"a?.jpg", false, false},
        {"*.jpg", true, true},
        {"images/a?.jpg", true, true},
        {"/images/*", true, true},
        {"*/a.jpg", true, false},
        {"im?ges/a.jpg", true, false},
        {"images/*/", true, false},
    };
    for (const PathCase& c : cases)
        EXPECT_EQ(IsValidPath(c.name, c.wildcards), c.valid) << '"' << c.name << "\" wildcards " << c.wildcards;
}

TEST(PathRules, ParentPath)
{
    EXPECT_EQ(ParentPath("a/b/c.jpg"), "a/b/");
    EXPECT_EQ(ParentPath("c.jpg"), "");
    EXPECT_EQ(ParentPath("/c.jpg"), "/");
    EXPECT_EQ(ParentPath(""), "");
}

struct MatchCase {
    const char* name;
    const char* pattern;
    bool match;
};

TEST(PathRules, MatchPattern)
{
    const MatchCase cases[] = {
        {"readme", "*.", true},
        {"read.me", "*.", false},
        {"read.me", "*..", false},
        {"anything.at.all", ".", true},
        {"", ".", true},
        {"x", "*.*", true},
        {"abc", "abc*", false},
        {"abcd", "abc*", true},
        {"ABC", "abc", false},
        {"abc", "", false},
        {"abc", "abc", true},
        {"logo.jpg", "*.jpg", true},
        {"logo.jpg", "*.JPG", false},
        {"logo.jpg", "l?go.*", true},
        {"/images", "*", true},
        {"/images", "a*", false},
        {"abc", "abc.", true},
        {"abc", "ab", false},
    };
    for (const MatchCase& c : cases)
        EXPECT_EQ(MatchPattern(c.name, c.pattern), c.match) << c.name << " ~ " << c.pattern;
}

TEST(PathRules, WildcardMatch)
{
    const MatchCase cases[] = {
        {"", "*", false},
        {"a", "*", true},
        {"ac", "a*c", true},    // an inner star may take nothing
        {"abbbc", "a*c", true},
        {"a", "a*c", false},
        {"c", "*c", true},
        {"ab", "a*b*", false},  // a star reached at the end of the name fails
        {"abx", "a*b*", true},
        {"ab", "a**", true},
        {"abc", "???", true},
        {"ab", "???", false},
        {"abcd", "???", false},
        {"", "", true},
        {"a", "", false},
        {"", "a", false},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*a*a*a*a*a*c", false},
    };
    for (const MatchCase& c : cases)
        EXPECT_EQ(WildcardMatch(c.name, c.pattern), c.match) << c.name << " ~ " << c.pattern;
}

// The walk as first described: try every split at each "*", recursively.
bool BacktrackingMatch(const char* name, const char* pattern)
{
    while (*pattern && *name) {
        if (*pattern == '*') {
            if (!pattern[1]) return true;
            for (const char* from = name; *from; from++)
                if (BacktrackingMatch(from, pattern + 1)) return true;
            return false;
        }
        if (*pattern != '?' && *pattern != *name) return false;
        pattern++;
        name++;
    }
    return !*pattern && !*name;
}

TEST(PathRules, WildcardMatchAgreesWithBacktracking)
{
    std::mt19937 rng(5);
    const char alphabet[] = "ab*?";
    for (int round = 0; round < 20000; round++) {
        std::string name, pattern;
        for (int k = rng() % 7; k > 0; k--) name += alphabet[rng() % 2];
        for (int k = rng() % 6; k > 0; k--) pattern += alphabet[rng() % 4];
        ASSERT_EQ(WildcardMatch(name, pattern), BacktrackingMatch(name.c_str(), pattern.c_str()))
            << '"' << name << "\" ~ \"" << pattern << '"';
    }
}

}  // namespace
