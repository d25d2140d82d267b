// The transport against a libssh server inside this binary that scripts the
// logins sshd cannot: a partial success from password to keyboard-interactive,
// a round of two prompts with different echo flags followed by an empty round,
// an issue banner, and denial.

// The server side uses libssh's message API, deprecated in 0.10 but the one
// that scripts these exchanges.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "ScriptedServer.h"
#include "SessionRecorder.h"
#include "TestPeers.h"

#include <gtest/gtest.h>

#include <future>

using namespace std::chrono_literals;

namespace {

// Password first, then keyboard-interactive, as the methods allow.
SessionRecorder::Chooser twoFactor(std::string password, std::vector<std::string> answers,
                                   std::vector<HalvexInteractiveRequest>* asked, std::mutex* m) {
    return [=](HalvexSession& s, const std::vector<std::string>& methods, bool) -> std::optional<Error> {
        if (std::find(methods.begin(), methods.end(), "password") != methods.end()) {
            s.authenticateByPasswordHandler([=] { return password; });
        } else if (std::find(methods.begin(), methods.end(), "keyboard-interactive") != methods.end()) {
            s.authenticateByInteractiveHandler([=](long index, const std::string& name,
                                                   const std::string& instruction,
                                                   const std::vector<HalvexInteractivePrompt>& prompts) {
                std::lock_guard lock(*m);
                asked->push_back({index, name, instruction, prompts});
                return answers;
            });
        } else {
            return Error("Halvex.Core", 1007, "No match authentication method found");
        }
        return std::nullopt;
    };
}

TEST(HalvexSessionScripted, PartialSuccessLeadsFromPasswordToTwoPromptsAndAnEmptyRound) {
    ScriptedServer server(ScriptedServer::Script::PasswordThenInteractive);
    auto rec = std::make_shared<SessionRecorder>();
    std::mutex m;
    std::vector<HalvexInteractiveRequest> asked;
    rec->chooser = twoFactor("first-factor", {"424242", "blue"}, &asked, &m);
    auto session = HalvexSession::make(rec);
    session->connectToHost("127.0.0.1", server.port, "tester", 10);
    ASSERT_TRUE(rec->waitAuthenticated()) << (rec->lastError() ? rec->lastError()->localizedDescription : "");

    auto events = rec->events();
    std::vector<std::string> expected = {"hostkey",
                                         "connect:127.0.0.1:" + std::to_string(server.port),
                                         "banner",
                                         "methods:password",
                                         "partial:keyboard-interactive",
                                         "kbdint:0",
                                         "authenticated:tester"};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(rec->banner, ScriptedServer::kBanner);
    {
        std::lock_guard lock(m);
        ASSERT_EQ(asked.size(), 1u) << "the empty round is answered without asking";
        EXPECT_EQ(asked[0].index, 0);
        EXPECT_EQ(asked[0].name, "Second factor");
        EXPECT_EQ(asked[0].instruction, "Answer both questions.");
        ASSERT_EQ(asked[0].prompts.size(), 2u);
        EXPECT_EQ(asked[0].prompts[0], (HalvexInteractivePrompt{"One-time code: ", false}));
        EXPECT_EQ(asked[0].prompts[1], (HalvexInteractivePrompt{"Favourite colour: ", true}));
    }
    {
        std::lock_guard lock(rec->mutex);
        ASSERT_EQ(rec->requests.size(), 1u);
        EXPECT_EQ(rec->requests[0].prompts.size(), 2u);
    }
    auto seen = server.seen();
    EXPECT_EQ(seen.passwords, std::vector<std::string>{"first-factor"});
    ASSERT_EQ(seen.answers.size(), 2u);
    EXPECT_EQ(seen.answers[0], (std::vector<std::string>{"424242", "blue"}));
    EXPECT_TRUE(seen.answers[1].empty());
    EXPECT_TRUE(seen.authenticated);

    session->disconnect();
    ASSERT_TRUE(rec->waitDisconnect());
    EXPECT_FALSE(rec->lastError());
}

TEST(HalvexSessionScripted, WrongAnswersAndDenialEndWithAuthenticationFailure) {
    {
        ScriptedServer server(ScriptedServer::Script::PasswordThenInteractive);
        auto rec = std::make_shared<SessionRecorder>();
        std::mutex m;
        std::vector<HalvexInteractiveRequest> asked;
        rec->chooser = twoFactor("first-factor", {"000000", "red"}, &asked, &m);
        auto session = HalvexSession::make(rec);
        session->connectToHost("127.0.0.1", server.port, "tester", 10);
        ASSERT_TRUE(rec->waitDisconnect());
        ASSERT_TRUE(rec->lastError());
        EXPECT_EQ(rec->lastError()->domain, "Halvex.Core");
        EXPECT_EQ(rec->lastError()->code, HalvexCoreErrorAuthentication);
        EXPECT_FALSE(rec->authenticated);
    }
    {
        ScriptedServer server(ScriptedServer::Script::DenyAll);
        auto rec = std::make_shared<SessionRecorder>();
        std::mutex m;
        std::vector<HalvexInteractiveRequest> asked;
        rec->chooser = twoFactor("anything", {}, &asked, &m);
        auto session = HalvexSession::make(rec);
        session->connectToHost("127.0.0.1", server.port, "tester", 10);
        ASSERT_TRUE(rec->waitDisconnect());
        EXPECT_EQ(rec->lastError() ? rec->lastError()->code : 0, HalvexCoreErrorAuthentication);
        EXPECT_EQ(server.seen().passwords, std::vector<std::string>{"anything"});
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(rec->disconnectCount(), 1);
    }
}

TEST(HalvexSessionScripted, TheDelegatesErrorOrNoChoiceEndsTheAttempt) {
    {
        ScriptedServer server(ScriptedServer::Script::DenyAll);
        auto rec = std::make_shared<SessionRecorder>();
        rec->chooser = [](HalvexSession&, const std::vector<std::string>&, bool) -> std::optional<Error> {
            return Error("Halvex.Core", 1007, "No match authentication method found");
        };
        auto session = HalvexSession::make(rec);

        session->connectToHost("127.0.0.1", server.port, "tester", 10);
        ASSERT_TRUE(rec->waitDisconnect());
        ASSERT_TRUE(rec->lastError());
        EXPECT_EQ(rec->lastError()->code, 1007);
        EXPECT_EQ(rec->lastError()->localizedDescription, "No match authentication method found");
        EXPECT_TRUE(server.seen().passwords.empty());
    }
    {
        ScriptedServer server(ScriptedServer::Script::DenyAll);
        auto rec = std::make_shared<SessionRecorder>(); // chooses nothing
        auto session = HalvexSession::make(rec);
        session->connectToHost("127.0.0.1", server.port, "tester", 10);
        ASSERT_TRUE(rec->waitDisconnect());
        EXPECT_EQ(rec->lastError() ? rec->lastError()->code : 0, HalvexCoreErrorAuthentication);
    }
}

TEST(HalvexSessionScripted, DisconnectWhileTheInteractivePromptWaitsEndsOnce) {
    ScriptedServer server(ScriptedServer::Script::PasswordThenInteractive);
    auto rec = std::make_shared<SessionRecorder>();
    std::promise<void> prompting;
    std::promise<void> release;
    auto released = release.get_future().share();
    rec->chooser = [&](HalvexSession& s, const std::vector<std::string>& methods,
                       bool) -> std::optional<Error> {
        if (methods == std::vector<std::string>{"password"}) {
            s.authenticateByPasswordHandler([] { return std::string("first-factor"); });
        } else {
            s.authenticateByInteractiveHandler([&, released](long, const std::string&, const std::string&,
                                                             const std::vector<HalvexInteractivePrompt>&) {
                prompting.set_value();
                released.wait();
                return std::vector<std::string>{"424242", "blue"};
            });
        }
        return std::nullopt;
    };
    auto session = HalvexSession::make(rec);
    session->connectToHost("127.0.0.1", server.port, "tester", 10);
    ASSERT_EQ(prompting.get_future().wait_for(20s), std::future_status::ready);
    session->disconnect();
    session->disconnect(); // twice: still one end
    release.set_value();
    ASSERT_TRUE(rec->waitDisconnect());
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(rec->disconnectCount(), 1);
    EXPECT_FALSE(rec->lastError());
    EXPECT_FALSE(rec->authenticated);
    EXPECT_TRUE(server.seen().answers.empty()) << "answers given after the disconnect are not sent";
}

TEST(HalvexSessionScripted, AServerThatGoesAwayEndsTheSessionWithAnError) {
    ScriptedServer server(ScriptedServer::Script::PasswordThenInteractive);
    auto rec = std::make_shared<SessionRecorder>();
    std::mutex m;
    std::vector<HalvexInteractiveRequest> asked;
    rec->chooser = twoFactor("first-factor", {"424242", "blue"}, &asked, &m);
    auto session = HalvexSession::make(rec);
    session->connectToHost("127.0.0.1", server.port, "tester", 10);
    ASSERT_TRUE(rec->waitAuthenticated());
    server.stop();
    ASSERT_TRUE(rec->waitDisconnect());
    ASSERT_TRUE(rec->lastError());
    EXPECT_EQ(rec->lastError()->code, HalvexCoreErrorProtocol) << rec->lastError()->localizedDescription;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(rec->disconnectCount(), 1);
}

TEST(HalvexSessionScripted, ReleasingTheSessionEndsTheAttemptWithoutCallbacks) {
    ScriptedServer server(ScriptedServer::Script::DenyAll);
    auto rec = std::make_shared<SessionRecorder>();
    std::promise<void> asked;
    std::atomic<bool> once{false};
    rec->chooser = [&](HalvexSession&, const std::vector<std::string>&, bool) -> std::optional<Error> {
        if (!once.exchange(true)) asked.set_value();
        std::this_thread::sleep_for(100ms);
        return std::nullopt;
    };
    auto session = HalvexSession::make(rec);
    session->connectToHost("127.0.0.1", server.port, "tester", 10);
    ASSERT_EQ(asked.get_future().wait_for(20s), std::future_status::ready);
    session.reset();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(rec->disconnectCount(), 0) << "no session is left to report on";
}

} // namespace
