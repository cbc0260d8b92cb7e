// Basic authentication's memory of pairs, on real bcrypt hashes.
#include "exporter/BasicAuth.h"
#include "../BcryptHash.h"

#include <gtest/gtest.h>

// A pair recalled as passed before bcrypt said so, another password of a user that passed
// recalled as passed, a wrong pair not remembered (each repeat costing bcrypt), an unknown
// user let in, or a right pair refused because a wrong one was remembered.
TEST(BasicAuth, PassedAndFailedPairsAreRecalledWithoutBcrypt) {
    using Verdict = CBasicAuth::Verdict;
    const CBasicAuth auth({{"alice", BcryptHash("secret", 4)}, {"bob", BcryptHash("other", 5)}});
    EXPECT_EQ(auth.Recall("alice", "secret"), Verdict::Unknown);
    EXPECT_FALSE(auth.Check("alice", "wrong"));
    EXPECT_FALSE(auth.Check("mallory", "secret"));
    EXPECT_TRUE(auth.Check("alice", "secret"));
    const struct {
        const char* user;
        const char* password;
        Verdict verdict;
    } cases[]{
        {"alice", "secret", Verdict::Passed},    {"alice", "wrong", Verdict::Refused},
        {"mallory", "secret", Verdict::Refused}, {"alice", "secret2", Verdict::Unknown},
        {"bob", "secret", Verdict::Unknown},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(auth.Recall(c.user, c.password), c.verdict) << c.user << ':' << c.password;
    }
}

// A reload that forgets every remembered pair (sending every scraper to bcrypt at once), or
// keeps one whose user's hash changed or who was added.
TEST(BasicAuth, ReloadKeepsPairsOfUsersWhoseHashIsUnchanged) {
    using Verdict = CBasicAuth::Verdict;
    const std::string alice = BcryptHash("secret", 4);
    const CBasicAuth before({{"alice", alice}, {"bob", BcryptHash("other", 4)}});
    EXPECT_TRUE(before.Check("alice", "secret"));
    EXPECT_TRUE(before.Check("bob", "other"));
    EXPECT_FALSE(before.Check("carol", "guess"));
    EXPECT_FALSE(before.Check("mallory", "guess"));
    const CBasicAuth after(
        {{"alice", alice}, {"bob", BcryptHash("other", 4)}, {"carol", BcryptHash("guess", 4)}},
        before);
    EXPECT_EQ(after.Recall("alice", "secret"), Verdict::Passed);
    EXPECT_EQ(after.Recall("bob", "other"), Verdict::Unknown);
    EXPECT_EQ(after.Recall("carol", "guess"), Verdict::Unknown);
    EXPECT_EQ(after.Recall("mallory", "guess"), Verdict::Refused);
}

// An unknown user, or one with a cheaper hash, checked with less bcrypt work than another:
// a refusal's time would tell which users exist.
TEST(BasicAuth, EveryUserKnownOrNotCostsTheSameBcryptWork) {
    const std::string cheap = BcryptHash("a", 4);
    const CBasicAuth auth({{"cheap", cheap}, {"dear", BcryptHash("b", 6)}});
    for (const char* user : {"cheap", "dear", "mallory"}) {
        std::string costs;
        for (const std::string& hash : auth.HashesChecked(user)) {
            costs += hash.substr(0, 7);
        }
        EXPECT_EQ(costs, "$2b$04$$2b$06$") << user;
    }
    EXPECT_EQ(auth.HashesChecked("cheap").front().get(), cheap);
}
