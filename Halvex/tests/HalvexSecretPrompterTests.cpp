#include "Halvex/HalvexSecretPrompter.h"

#include <gtest/gtest.h>

namespace {

// Records each request and answers with a scripted response.
class ScriptedPrompter : public HalvexSecretPrompter {
public:
    HalvexSecretPromptResponse runPrompt(const HalvexSecretPromptRequest& request) override {
        requests.push_back(request);
        return response;
    }
    HalvexSecretPromptResponse response;
    std::vector<HalvexSecretPromptRequest> requests;
};

using Fields = std::vector<HalvexSecretPromptField>;

TEST(HalvexSecretPrompter, InteractivePromptAddsNameAndInstructionOnlyWhenPresent) {
    const std::vector<HalvexInteractivePrompt> prompts{{"Verification code: ", true}, {"Password: ", false}};
    const std::string base = "Remote host “10.0.0.5:22” requests following information for user “bob”.";

    const auto both =
        HalvexSecretPromptRequest::interactive("10.0.0.5", 22, "bob", "Two-step", "Use your app", prompts);
    EXPECT_EQ(both.kind, HalvexSecretPromptKind::Interactive);
    EXPECT_EQ(both.messageText, "Interactive Authentication");
    EXPECT_EQ(both.informativeText, base + "\nTwo-step\nUse your app");
    EXPECT_EQ(both.rememberTitle, "Remember interactive information in my keychain");
    EXPECT_EQ(both.fields, (Fields{{"Verification code: ", "Verification code: ", true},
                                   {"Password: ", "Password: ", false}}));

    EXPECT_EQ(HalvexSecretPromptRequest::interactive("10.0.0.5", 22, "bob", "", "", prompts).informativeText,
              base);
    EXPECT_EQ(
        HalvexSecretPromptRequest::interactive("10.0.0.5", 22, "bob", "Name", "", prompts).informativeText,
        base + "\nName");
    EXPECT_EQ(
        HalvexSecretPromptRequest::interactive("10.0.0.5", 22, "bob", "", "Inst", prompts).informativeText,
        base + "\nInst");
    EXPECT_TRUE(HalvexSecretPromptRequest::interactive("h", 22, "u", "", "", {}).fields.empty());
}

TEST(HalvexSecretPrompter, OkGivesTheAnswersAndTheRememberChoice) {
    ScriptedPrompter prompter;
    bool saving = false;

    prompter.response = {true, {"s3cret"}, true};
    EXPECT_EQ(prompter.promptForPasswordWithSaving("alice", "host", 22, &saving), "s3cret");
    EXPECT_TRUE(saving);
    ASSERT_EQ(prompter.requests.size(), 1u);
    EXPECT_EQ(prompter.requests[0], HalvexSecretPromptRequest::password("alice", "host", 22));

    prompter.response = {true, {"phrase"}, false};
    saving = true;
    EXPECT_EQ(prompter.promptForPassphraseWithSaving("key", &saving), "phrase");
    EXPECT_FALSE(saving);
    EXPECT_EQ(prompter.requests.back(), HalvexSecretPromptRequest::passphrase("key"));

    const std::vector<HalvexInteractivePrompt> prompts{{"Code: ", true}, {"Password: ", false}};
    prompter.response = {true, {"123456", "pw"}, true};
    saving = false;
    EXPECT_EQ(prompter.promptForInteractiveName("h", 2200, "u", "n", "i", prompts, &saving),
              (std::vector<std::string>{"123456", "pw"}));
    EXPECT_TRUE(saving);
    EXPECT_EQ(prompter.requests.back(),
              HalvexSecretPromptRequest::interactive("h", 2200, "u", "n", "i", prompts));

    // An empty answer accepted with OK is still an answer (one per prompt).
    prompter.response = {true, {"", ""}, false};
    EXPECT_EQ(prompter.promptForInteractiveName("h", 22, "u", "", "", prompts, nullptr),
              (std::vector<std::string>{"", ""}));
}

TEST(HalvexSecretPrompter, CancelGivesTheEmptyAnswerAndNeverRemembers) {
    ScriptedPrompter prompter;
    // The user typed and ticked the box, then pressed Cancel.
    prompter.response = {false, {"typed"}, true};
    bool saving = true;
    EXPECT_EQ(prompter.promptForPasswordWithSaving("alice", "host", 22, &saving), "");
    EXPECT_FALSE(saving);

    saving = true;
    EXPECT_EQ(prompter.promptForPassphraseWithSaving("key", &saving), "");
    EXPECT_FALSE(saving);

    prompter.response = {false, {"a", "b"}, true};
    saving = true;
    EXPECT_TRUE(prompter.promptForInteractiveName("h", 22, "u", "", "", {{"A", true}, {"B", false}}, &saving)
                    .empty());
    EXPECT_FALSE(saving);
    EXPECT_EQ(prompter.requests.size(), 3u);
}

TEST(HalvexSecretPrompter, AnswersAlwaysMatchThePromptCount) {
    ScriptedPrompter prompter;
    const std::vector<HalvexInteractivePrompt> three{{"A", true}, {"B", false}, {"C", false}};
    prompter.response = {true, {"only one"}, false};
    EXPECT_EQ(prompter.promptForInteractiveName("h", 22, "u", "", "", three, nullptr),
              (std::vector<std::string>{"only one", "", ""}));
    prompter.response = {true, {"x", "y", "z", "extra"}, false};
    EXPECT_EQ(prompter.promptForInteractiveName("h", 22, "u", "", "", three, nullptr),
              (std::vector<std::string>{"x", "y", "z"}));
    prompter.response = {true, {}, true};
    bool saving = false;
    EXPECT_EQ(prompter.promptForPasswordWithSaving("u", "h", 22, &saving), "");
    EXPECT_TRUE(saving);
    EXPECT_TRUE(prompter.promptForInteractiveName("h", 22, "u", "", "", {}, nullptr).empty());
}

} // namespace
