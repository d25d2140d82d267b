#pragma once
// Test doubles for the session controller: a prompter and an alert presenter
// that answer from scripts, the session log as comparable lines, and a
// known-hosts store in a throwaway folder.

#include "Dispatch/DrivableMainQueue.h"
#include "Halvex/HalvexAlertPresenter.h"
#include "Halvex/HalvexPreferences.h"
#include "Halvex/HalvexSecretPrompter.h"
#include "Halvex/HalvexSessionController.h"

#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace controller_test {

// The log lines after the four header lines, as "level: text".
inline std::vector<std::string> sessionLines(HalvexSessionController& controller) {
    std::vector<std::string> out;
    auto lines = controller.logsAttributedString();
    for (std::size_t i = 4; i < lines.size(); ++i) {
        const char* level = "?";
        switch (lines[i].level) {
        case VyMMLogLevelDebug:
            level = "debug";
            break;
        case VyMMLogLevelInfo:
            level = "info";
            break;
        case VyMMLogLevelSuccess:
            level = "success";
            break;
        case VyMMLogLevelWarn:
            level = "warn";
            break;
        case VyMMLogLevelError:
            level = "error";
            break;
        case VyMMLogLevelFatal:
            level = "fatal";
            break;
        default:
            level = "plain";
            break;
        }
        out.push_back(std::string(level) + ": " + lines[i].message);
    }
    return out;
}

// The same without the transport's own debug and info lines, which depend on
// the library's wording: only the controller's lines, in order.
inline std::vector<std::string> controllerLines(HalvexSessionController& controller,
                                                const std::vector<std::string>& transportLines) {
    std::vector<std::string> out;
    for (auto& line : sessionLines(controller)) {
        bool fromTransport = false;
        for (auto& t : transportLines)
            if (line == t) fromTransport = true;
        if (!fromTransport) out.push_back(line);
    }
    return out;
}

// Answers prompts on the main thread from a queue of responses (Cancel when
// the queue is empty). With holdOpen, a prompt stays open, driving the main
// queue as a modal dialog's loop does, until cancelPrompt() closes it.
class ScriptedPrompter : public HalvexSecretPrompter {
public:
    explicit ScriptedPrompter(std::shared_ptr<DrivableMainQueue> main = nullptr) : main_(std::move(main)) {}

    HalvexSecretPromptResponse runPrompt(const HalvexSecretPromptRequest& request) override {
        requests.push_back(request);
        if (holdOpen) {
            cancelled_ = false;
            ++open;
            if (onOpen) onOpen();
            main_->runUntil([&] { return cancelled_; }, std::chrono::seconds(20));
            --open;
            return {};
        }
        if (answer) return answer(request);
        if (responses.empty()) return {};
        auto r = responses.front();
        responses.pop_front();
        return r;
    }
    void cancelPrompt() override {
        ++cancels;
        cancelled_ = true;
    }

    static HalvexSecretPromptResponse ok(std::vector<std::string> answers, bool remember) {
        return {true, std::move(answers), remember};
    }

    // Main thread only.
    std::deque<HalvexSecretPromptResponse> responses;
    std::vector<HalvexSecretPromptRequest> requests;
    bool holdOpen = false;
    std::function<void()> onOpen;
    // When set, answers every prompt (before the queue is looked at).
    std::function<HalvexSecretPromptResponse(const HalvexSecretPromptRequest&)> answer;
    int open = 0;
    int cancels = 0;

private:
    std::shared_ptr<DrivableMainQueue> main_;
    bool cancelled_ = false;
};

// Answers host-key alerts (asked on the SSH thread) from a script; records them.
class ScriptedAlertPresenter : public HalvexAlertPresenter {
public:
    long runModalAlert(const HalvexAlert& alert) override {
        std::lock_guard lock(mutex);
        alerts.push_back(alert);
        if (answers.empty()) return FirstButton;
        long a = answers.front();
        answers.pop_front();
        return a;
    }
    std::vector<HalvexAlert> taken() {
        std::lock_guard lock(mutex);
        return alerts;
    }
    void answer(std::initializer_list<long> list) {
        std::lock_guard lock(mutex);
        answers.insert(answers.end(), list);
    }

    std::mutex mutex;
    std::deque<long> answers;
    std::vector<HalvexAlert> alerts;
};

// A folder removed at the end.
class ScratchDir {
public:
    ScratchDir() {
        char pattern[] = "/tmp/orvik-controller-XXXXXX";
        const char* dir = mkdtemp(pattern);
        path = dir ? dir : "";
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

// Preferences over user defaults of their own, so known hosts start empty.
inline std::shared_ptr<HalvexPreferences> scratchPreferences(const ScratchDir& dir, const std::string& name) {
    return std::make_shared<HalvexPreferences>(
        UserDefaults::userDefaultsWithPath(dir.path + "/" + name + ".json"));
}

} // namespace controller_test
