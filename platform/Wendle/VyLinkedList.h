#pragma once

#include "Wendle/VyLinkedListDelegate.h"
#include "Wendle/VyLinkedNode.h"

#include <cstddef>
#include <deque>
#include <memory>

// A doubly linked list of nodes with indexed access, index 0 first. It owns
// its nodes; the links let a node reach its neighbours (a terminal line its
// successor) and the index gives O(1) access to any row of a long scrollback.
// Indexes out of range are refused (false, nothing changes).
class VyLinkedList {
public:
    explicit VyLinkedList(VyLinkedListDelegate* delegate = nullptr) : delegate_(delegate) {}

    VyLinkedList(const VyLinkedList&) = delete;
    VyLinkedList& operator=(const VyLinkedList&) = delete;

    void setDelegate(VyLinkedListDelegate* delegate) { delegate_ = delegate; }

    void appendNode(std::shared_ptr<VyLinkedNode> node);
    // index from 0 to count. A node that is already linked (or is this list's
    // only node) is refused: a node belongs to one list at one place.
    bool insertNode(std::shared_ptr<VyLinkedNode> node, std::size_t index);
    bool removeNodeAtIndex(std::size_t index);
    // Removes length nodes from location; the range must lie in the list.
    bool removeNodesInRange(std::size_t location, std::size_t length);
    bool replaceNodeAtIndex(std::size_t index, std::shared_ptr<VyLinkedNode> node);

    VyLinkedNode* firstNode() const { return nodes_.empty() ? nullptr : nodes_.front().get(); }
    VyLinkedNode* lastNode() const { return nodes_.empty() ? nullptr : nodes_.back().get(); }
    std::size_t count() const { return nodes_.size(); }
    // nullptr past the end.
    VyLinkedNode* operator[](std::size_t index) const {
        return index < nodes_.size() ? nodes_[index].get() : nullptr;
    }
    std::shared_ptr<VyLinkedNode> nodeAtIndex(std::size_t index) const {
        return index < nodes_.size() ? nodes_[index] : nullptr;
    }

private:
    // Clears a removed node's links without its setters: it is no longer part
    // of any chain whose derived state must follow.
    static void detach(VyLinkedNode& node);

    VyLinkedListDelegate* delegate_;
    std::deque<std::shared_ptr<VyLinkedNode>> nodes_;
};
