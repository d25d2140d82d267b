#include "Wendle/VyLinkedList.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Node : VyLinkedNode {
    explicit Node(std::string n) : name(std::move(n)) {}
    std::string name;
    int setNextCalls = 0;
    void setNext(VyLinkedNode* node) override {
        ++setNextCalls;
        VyLinkedNode::setNext(node);
    }
};

std::string nameOf(VyLinkedNode* n) {
    return n ? static_cast<Node*>(n)->name : "-";
}

template <class... Parts>
std::string cat(const Parts&... parts) {
    std::ostringstream out;
    (out << ... << parts);
    return out.str();
}

struct Recorder : VyLinkedListDelegate {
    std::vector<std::string> calls;
    void didInsertNode(VyLinkedList& list, VyLinkedNode& node, std::size_t index) override {
        // The node is already linked when the delegate hears of it.
        calls.push_back(cat("insert ", nameOf(&node), "@", index, " prev=", nameOf(node.prev()),
                            " next=", nameOf(node.next()), " count=", list.count()));
    }
    void didRemoveNode(VyLinkedList& list, VyLinkedNode& node, std::size_t index) override {
        calls.push_back(cat("remove ", nameOf(&node), "@", index, " count=", list.count()));
    }
    void didRemoveNodes(VyLinkedList&, const std::vector<std::shared_ptr<VyLinkedNode>>& nodes,
                        std::size_t location, std::size_t length) override {
        std::string s = cat("removeRange ", location, "+", length, ":");
        for (auto& n : nodes)
            s += cat(" ", nameOf(n.get()), ">", nameOf(n->next()));
        calls.push_back(s);
    }
    void didReplaceNode(VyLinkedList&, VyLinkedNode& node, VyLinkedNode& newNode,
                        std::size_t index) override {
        calls.push_back(cat("replace ", nameOf(&node), "->", nameOf(&newNode), "@", index));
    }
};

// Checks links and indexes agree, both ways.
std::string chain(const VyLinkedList& list) {
    std::string s;
    VyLinkedNode* prev = nullptr;
    std::size_t i = 0;
    for (VyLinkedNode* n = list.firstNode(); n; prev = n, n = n->next(), ++i) {
        EXPECT_EQ(n->prev(), prev);
        EXPECT_EQ(list[i], n);
        s += nameOf(n);
    }
    EXPECT_EQ(i, list.count());
    EXPECT_EQ(list.lastNode(), prev);
    return s;
}

TEST(VyLinkedList, InsertLinksNodesAndTellsTheDelegate) {
    Recorder delegate;
    VyLinkedList list(&delegate);
    list.appendNode(std::make_shared<Node>("b"));
    EXPECT_TRUE(list.insertNode(std::make_shared<Node>("a"), 0));
    list.appendNode(std::make_shared<Node>("d"));
    EXPECT_TRUE(list.insertNode(std::make_shared<Node>("c"), 2));
    EXPECT_EQ(chain(list), "abcd");
    EXPECT_EQ(delegate.calls, (std::vector<std::string>{
                                  "insert b@0 prev=- next=- count=1",
                                  "insert a@0 prev=- next=b count=2",
                                  "insert d@2 prev=b next=- count=3",
                                  "insert c@2 prev=b next=d count=4",
                              }));
    EXPECT_EQ(list[4], nullptr);
}

TEST(VyLinkedList, RefusesBadIndexesAndNodesAlreadyInAList) {
    Recorder delegate;
    VyLinkedList list(&delegate);
    auto a = std::make_shared<Node>("a");
    list.appendNode(a);
    EXPECT_FALSE(list.insertNode(std::make_shared<Node>("x"), 2));
    EXPECT_FALSE(list.insertNode(a, 1)); // already this list's only node
    list.appendNode(std::make_shared<Node>("b"));
    EXPECT_FALSE(list.insertNode(a, 0)); // linked
    EXPECT_FALSE(list.insertNode(nullptr, 0));
    EXPECT_FALSE(list.removeNodeAtIndex(2));
    EXPECT_FALSE(list.removeNodesInRange(1, 2));
    EXPECT_FALSE(list.removeNodesInRange(3, 0));
    EXPECT_FALSE(list.replaceNodeAtIndex(2, std::make_shared<Node>("y")));
    EXPECT_EQ(chain(list), "ab");
    EXPECT_EQ(delegate.calls.size(), 2u);
}

TEST(VyLinkedList, RemoveRelinksNeighboursAndUnlinksTheNode) {
    Recorder delegate;
    VyLinkedList list(&delegate);
    for (auto n : {"a", "b", "c"})
        list.appendNode(std::make_shared<Node>(n));
    std::shared_ptr<VyLinkedNode> b = list.nodeAtIndex(1);
    delegate.calls.clear();
    EXPECT_TRUE(list.removeNodeAtIndex(1));
    EXPECT_EQ(chain(list), "ac");
    EXPECT_EQ(delegate.calls, std::vector<std::string>{"remove b@1 count=2"});
    EXPECT_EQ(b->next(), nullptr); // no dangling link into the list afterwards
    EXPECT_EQ(b->prev(), nullptr);
    EXPECT_TRUE(list.insertNode(b, 2)); // so it can be inserted again
    EXPECT_EQ(chain(list), "acb");
    EXPECT_TRUE(list.removeNodeAtIndex(0));
    EXPECT_TRUE(list.removeNodeAtIndex(1));
    EXPECT_TRUE(list.removeNodeAtIndex(0));
    EXPECT_EQ(list.firstNode(), nullptr);
    EXPECT_EQ(chain(list), "");
}

TEST(VyLinkedList, RemoveRangeReportsNodesInOrderWithTheirFormerNext) {
    Recorder delegate;
    VyLinkedList list(&delegate);
    for (auto n : {"a", "b", "c", "d", "e"})
        list.appendNode(std::make_shared<Node>(n));
    delegate.calls.clear();
    EXPECT_TRUE(list.removeNodesInRange(1, 3));
    EXPECT_EQ(chain(list), "ae");
    EXPECT_TRUE(list.removeNodesInRange(0, 0)); // empty: no change, no call
    EXPECT_TRUE(list.removeNodesInRange(0, 2));
    EXPECT_EQ(chain(list), "");
    EXPECT_EQ(delegate.calls,
              (std::vector<std::string>{"removeRange 1+3: b>c c>d d>e", "removeRange 0+2: a>e e>-"}));
}

TEST(VyLinkedList, ReplaceSwapsTheNodeInPlace) {
    Recorder delegate;
    VyLinkedList list(&delegate);
    for (auto n : {"a", "b", "c"})
        list.appendNode(std::make_shared<Node>(n));
    delegate.calls.clear();
    EXPECT_TRUE(list.replaceNodeAtIndex(1, std::make_shared<Node>("x")));
    EXPECT_EQ(chain(list), "axc");
    EXPECT_EQ(delegate.calls, std::vector<std::string>{"replace b->x@1"});
}

TEST(VyLinkedList, NodeSettersRunSoDerivedStateCanFollow) {
    VyLinkedList list;
    auto a = std::make_shared<Node>("a");
    list.appendNode(a);
    int before = a->setNextCalls;
    list.appendNode(std::make_shared<Node>("b"));
    EXPECT_GT(a->setNextCalls, before);
    before = a->setNextCalls;
    list.removeNodeAtIndex(1);
    EXPECT_GT(a->setNextCalls, before);
    EXPECT_EQ(a->next(), nullptr);
}

TEST(VyLinkedList, NodesStayAliveWhileOwnedElsewhere) {
    VyLinkedList list;
    list.appendNode(std::make_shared<Node>("a"));
    std::weak_ptr<VyLinkedNode> watch = list.nodeAtIndex(0);
    list.removeNodeAtIndex(0);
    EXPECT_TRUE(watch.expired()); // the list was the owner
}

} // namespace
