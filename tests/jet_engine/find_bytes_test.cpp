#include "jet_engine/search/find_bytes.h"

#include "jet_engine/search/simd_dispatch.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace jet_engine {
namespace {

using Finder = std::size_t (*)(const char *, std::size_t, std::string_view);

struct Variant {
    const char *name;
    Finder find;
    bool available;
};

std::vector<Variant> variants()
{
    return {{"portable", kernelsAt(SimdLevel::Portable).findBytes, true},
            {"sse2", kernelsAt(SimdLevel::Sse2).findBytes, processorHas(SimdLevel::Sse2)},
            {"avx2", kernelsAt(SimdLevel::Avx2).findBytes, processorHas(SimdLevel::Avx2)},
            {"picked", findBytes, true}};
}

struct Case {
    const char *name;
    std::string haystack;
    std::string needle;
};

// Positions that fall on each side of a vector's width, at the very end,
// and first and last bytes in place with the middle wrong.
std::vector<Case> cases()
{
    std::vector<Case> all = {
        {"empty haystack", "", "ab"},
        {"needle longer", "ab", "abc"},
        {"whole haystack", "abc", "abc"},
        {"one byte needle", std::string(70, 'x') + "y", "y"},
        {"ends match middle does not", std::string(40, 'a') + "axxb" + std::string(40, 'a') + "ayyb", "ayyb"},
        {"separator bytes", std::string(33, '\xFF') + "\xFFvis\xFF", "vis"},
        {"high bytes", std::string(31, 'a') + "\xC3\xA9" "crou", "\xC3\xA9" "c"},
        {"absent", std::string(200, 'a'), "ab"},
    };
    for (std::size_t at : {0u, 15u, 16u, 31u, 32u, 33u, 63u, 64u, 65u, 127u, 128u})
        for (std::size_t tail : {0u, 1u, 17u})
            all.push_back({"hit at a vector's edge", std::string(at, '.') + "ro" + std::string(tail, '.'), "ro"});
    return all;
}

TEST(FindBytesTest, EveryVariantFindsTheFirstPlace)
{
    for (const Variant &variant : variants()) {
        if (!variant.available)
            continue;
        for (const Case &c : cases()) {
            SCOPED_TRACE(std::string(variant.name) + ": " + c.name + " (" + std::to_string(c.haystack.size()) + ")");
            EXPECT_EQ(variant.find(c.haystack.data(), c.haystack.size(), c.needle),
                      std::string_view(c.haystack).find(c.needle));
        }
    }
}

// A small alphabet makes partial matches common, which is where a filter
// that tests only the first and last bytes would go wrong.
TEST(FindBytesTest, EveryVariantAgreesWithTheStandardLibraryOnRandomText)
{
    std::mt19937 random(20261209);
    std::uniform_int_distribution<int> letter('a', 'd');
    std::uniform_int_distribution<std::size_t> length(0, 300);
    std::uniform_int_distribution<std::size_t> needleLength(2, 6);
    for (int round = 0; round < 3000; ++round) {
        std::string haystack(length(random), ' ');
        for (char &c : haystack)
            c = char(letter(random));
        std::string needle(needleLength(random), ' ');
        for (char &c : needle)
            c = char(letter(random));
        const std::size_t expected = std::string_view(haystack).find(needle);
        for (const Variant &variant : variants()) {
            if (variant.available) {
                ASSERT_EQ(variant.find(haystack.data(), haystack.size(), needle), expected)
                    << variant.name << " on " << haystack << " for " << needle;
            }
        }
    }
}

} // namespace
} // namespace jet_engine
