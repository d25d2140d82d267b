#pragma once

#include <cstddef>
#include <memory>
#include <vector>

class VyLinkedList;
class VyLinkedNode;

// Told of every change of a VyLinkedList, after the nodes are linked. Each
// operation does nothing unless overridden.
class VyLinkedListDelegate {
public:
    virtual ~VyLinkedListDelegate() = default;

    virtual void didInsertNode(VyLinkedList& list, VyLinkedNode& node, std::size_t index) {
        (void)list, (void)node, (void)index;
    }
    // The node has left the list; during the call it still holds its links.
    virtual void didRemoveNode(VyLinkedList& list, VyLinkedNode& node, std::size_t index) {
        (void)list, (void)node, (void)index;
    }
    // The removed nodes in their former order, each still holding its former
    // `next` during the call.
    virtual void didRemoveNodes(VyLinkedList& list, const std::vector<std::shared_ptr<VyLinkedNode>>& nodes,
                                std::size_t location, std::size_t length) {
        (void)list, (void)nodes, (void)location, (void)length;
    }
    virtual void didReplaceNode(VyLinkedList& list, VyLinkedNode& node, VyLinkedNode& newNode,
                                std::size_t index) {
        (void)list, (void)node, (void)newNode, (void)index;
    }
};
