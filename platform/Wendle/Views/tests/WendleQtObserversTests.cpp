// Notification and key observers owned by QObjects: delivered on the GUI
// thread, never after the receiver or the subscription is gone.
#include "Dispatch/DrivableMainQueue.h"
#include "Wendle/Views/WendleQtMainQueue.h"
#include "Wendle/Views/WendleQtObservers.h"
#include "Wendle/Views/tests/DialogTestSupport.h"

#include <QObject>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using dialog_test::pumpEvents;

class Model : public KeyValueObservable {
public:
    void setName(const std::string& name) {
        willChangeValueForKey("name");
        name_ = name;
        didChangeValueForKey("name");
    }

private:
    std::string name_;
};

struct Heard {
    std::vector<std::string> names;
    std::vector<nlohmann::json> userInfos;
    std::vector<std::thread::id> threads;
};

class QtObservers : public ::testing::Test {
protected:
    void SetUp() override { queue = WendleQtMainQueue::installAsMain(); }
    void TearDown() override { MainQueue::setMain(nullptr); }

    WendleQtSubscription* listen(QObject* receiver, const std::string& name) {
        return observeNotification(
            receiver, name,
            [this](const Notification& n) {
                heard.names.push_back(n.name);
                heard.userInfos.push_back(n.userInfo);
                heard.threads.push_back(std::this_thread::get_id());
            },
            center);
    }

    std::shared_ptr<WendleQtMainQueue> queue;
    NotificationCenter center;
    Heard heard;
};

TEST_F(QtObservers, NoticesFromTheGuiThreadArriveAtOnceAndFromOthersThroughTheEventLoop) {
    QObject receiver;
    listen(&receiver, "VyMMLoggerNewLogNotifacation");
    center.postNotification("VyMMLoggerNewLogNotifacation", {}, {{"logid", "a"}});
    center.postNotification("Other");
    ASSERT_EQ(heard.names.size(), 1u);

    std::thread([&] {
        center.postNotification("VyMMLoggerNewLogNotifacation", {}, {{"logid", "b"}});
    }).join();
    EXPECT_EQ(heard.names.size(), 1u); // waits for the event loop
    pumpEvents();
    ASSERT_EQ(heard.names.size(), 2u);
    EXPECT_EQ(heard.userInfos[1]["logid"], "b");
    EXPECT_EQ(heard.threads[1], std::this_thread::get_id());
}

TEST_F(QtObservers, ANoticeOnItsWayIsDroppedWhenTheReceiverOrTheSubscriptionGoes) {
    auto receiver = std::make_unique<QObject>();
    listen(receiver.get(), "");
    QObject other;
    auto* subscription = listen(&other, "");
    std::thread([&] { center.postNotification("Late"); }).join();
    receiver.reset();
    delete subscription;
    pumpEvents();
    EXPECT_TRUE(heard.names.empty());
    center.postNotification("AfterAll");
    EXPECT_TRUE(heard.names.empty());
}

TEST_F(QtObservers, KeyChangesArriveOnTheGuiThreadAndTheModelMayGoFirst) {
    auto model = std::make_unique<Model>();
    std::vector<std::string> keys;
    std::vector<std::thread::id> threads;
    {
        QObject receiver;
        observeKey(&receiver, *model, "name", [&](const std::string& key) {
            keys.push_back(key);
            threads.push_back(std::this_thread::get_id());
        });
        model->setName("a"); // heard once: after the change, not before
        std::thread([&] { model->setName("b"); }).join();
        pumpEvents();
        model.reset();
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"name", "name"}));
    EXPECT_EQ(threads,
              (std::vector<std::thread::id>{std::this_thread::get_id(), std::this_thread::get_id()}));
}

TEST(QtObserversOnADrivableQueue, NoticesFromOtherThreadsGoThroughTheBoundMainQueue) {
    auto queue = std::make_shared<DrivableMainQueue>();
    MainQueue::setMain(queue);
    NotificationCenter center;
    int heard = 0;
    QObject receiver;
    observeNotification(
        &receiver, "N", [&](const Notification&) { ++heard; }, center);
    std::thread([&] { center.postNotification("N"); }).join();
    pumpEvents();
    EXPECT_EQ(heard, 0);
    EXPECT_EQ(queue->runUntilIdle(), 1u);
    EXPECT_EQ(heard, 1);
    MainQueue::setMain(nullptr);
}

} // namespace
