#pragma once

// A node of a VyLinkedList. The list sets the links; a node kind may override
// the setters to keep derived state (such as text offsets) in step, calling
// the base setter. Links do not own: the list owns its nodes.
class VyLinkedNode {
public:
    virtual ~VyLinkedNode() = default;

    VyLinkedNode* next() const { return next_; }
    VyLinkedNode* prev() const { return prev_; }
    virtual void setNext(VyLinkedNode* node) { next_ = node; }
    virtual void setPrev(VyLinkedNode* node) { prev_ = node; }

private:
    friend class VyLinkedList;
    VyLinkedNode* next_ = nullptr;
    VyLinkedNode* prev_ = nullptr;
};
