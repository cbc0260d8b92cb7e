// Basic authentication's memory of pairs, on real bcrypt hashes.
#include "../BcryptHash.h"
#include "exporter/BasicAuth.h"

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
