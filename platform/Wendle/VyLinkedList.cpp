#include "Wendle/VyLinkedList.h"

#include <iterator>
#include <utility>
#include <vector>

void VyLinkedList::detach(VyLinkedNode& node) {
    node.next_ = nullptr;
    node.prev_ = nullptr;
}

void VyLinkedList::appendNode(std::shared_ptr<VyLinkedNode> node) {
    insertNode(std::move(node), count());
}

bool VyLinkedList::insertNode(std::shared_ptr<VyLinkedNode> node, std::size_t index) {
    if (!node || index > nodes_.size()) return false;
    if (node->next() || node->prev() || node.get() == firstNode()) return false;
    VyLinkedNode* prev = index > 0 ? nodes_[index - 1].get() : nullptr;
    VyLinkedNode* next = index < nodes_.size() ? nodes_[index].get() : nullptr;
    VyLinkedNode& inserted = *node;
    nodes_.insert(nodes_.begin() + static_cast<std::ptrdiff_t>(index), std::move(node));
    inserted.setPrev(prev);
    inserted.setNext(next);
    if (prev) prev->setNext(&inserted);
    if (next) next->setPrev(&inserted);
    if (delegate_) delegate_->didInsertNode(*this, inserted, index);
    return true;
}

bool VyLinkedList::removeNodeAtIndex(std::size_t index) {
    if (index >= nodes_.size()) return false;
    std::shared_ptr<VyLinkedNode> removed = std::move(nodes_[index]);
    nodes_.erase(nodes_.begin() + static_cast<std::ptrdiff_t>(index));
    VyLinkedNode* prev = removed->prev();
    VyLinkedNode* next = removed->next();
    if (prev) prev->setNext(next);
    if (next) next->setPrev(prev);
    if (delegate_) delegate_->didRemoveNode(*this, *removed, index);
    detach(*removed);
    return true;
}

bool VyLinkedList::removeNodesInRange(std::size_t location, std::size_t length) {
    if (location > nodes_.size() || length > nodes_.size() - location) return false;
    if (length == 0) return true;
    auto first = nodes_.begin() + static_cast<std::ptrdiff_t>(location);
    auto last = first + static_cast<std::ptrdiff_t>(length);
    std::vector<std::shared_ptr<VyLinkedNode>> removed(std::make_move_iterator(first),
                                                       std::make_move_iterator(last));
    nodes_.erase(first, last);
    VyLinkedNode* prev = removed.front()->prev();
    VyLinkedNode* next = removed.back()->next();
    if (prev) prev->setNext(next);
    if (next) next->setPrev(prev);
    if (delegate_) delegate_->didRemoveNodes(*this, removed, location, length);
    for (auto& node : removed)
        detach(*node);
    return true;
}

bool VyLinkedList::replaceNodeAtIndex(std::size_t index, std::shared_ptr<VyLinkedNode> node) {
    if (!node || index >= nodes_.size()) return false;
    if (node->next() || node->prev() || node.get() == firstNode()) return false;
    std::shared_ptr<VyLinkedNode> old = std::exchange(nodes_[index], node);
    VyLinkedNode* prev = old->prev();
    VyLinkedNode* next = old->next();
    node->setPrev(prev);
    node->setNext(next);
    if (prev) prev->setNext(node.get());
    if (next) next->setPrev(node.get());
    if (delegate_) delegate_->didReplaceNode(*this, *old, *node, index);
    detach(*old);
    return true;
}
