#pragma once
// External iterators over the site tree: over one vector, and pre-order over anything that has children
// (the directory tree, or the web of pages that link to each other).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <typeinfo>
#include <utility>
#include <vector>

namespace korvel {

// The nodes a cyclic walk has met. Every link of every page is looked up here, a million times on a
// large site: open addressing over one array, with no allocation per node.
template <typename T>
class NodeSet {
  public:
    bool contains(T item) const {
        if (!item) return hasNull_;
        if (slots_.empty()) return false;
        for (std::size_t i = slotOf(item);; i = (i + 1) & (slots_.size() - 1)) {
            if (slots_[i] == item) return true;
            if (!slots_[i]) return false;
        }
    }
    void insert(T item) {
        if (!item) {
            hasNull_ = true;
            return;
        }
        if ((size_ + 1) * 2 > slots_.size()) grow();
        std::size_t i = slotOf(item);
        for (; slots_[i]; i = (i + 1) & (slots_.size() - 1))
            if (slots_[i] == item) return;
        slots_[i] = item;
        ++size_;
    }
    void clear() {
        slots_.clear();
        size_ = 0;
        hasNull_ = false;
    }

  private:
    std::size_t slotOf(T item) const {
        auto v = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(item));
        v ^= v >> 33;
        v *= 0xff51afd7ed558ccdULL;
        v ^= v >> 33;
        return static_cast<std::size_t>(v) & (slots_.size() - 1);
    }
    void grow() {
        std::vector<T> old(slots_.empty() ? 64 : slots_.size() * 2, T{});
        old.swap(slots_);
        size_ = 0;
        for (T item : old)
            if (item) insert(item);
    }

    std::vector<T> slots_;
    std::size_t size_ = 0;
    bool hasNull_ = false;
};

template <typename T>
class Iterator {
  public:
    virtual ~Iterator() = default;
    virtual void first() = 0;
    virtual void next() = 0;
    virtual bool isDone() const = 0;
    virtual T& currentItem() = 0;
};

// Walks a vector it does not own. Nothing may be added to or removed from the vector while it is walked,
// except through a pre-order walk's rule that a node's child iterator is made only when the walk moves
// past that node.
template <typename T>
class ListIterator : public Iterator<T> {
  public:
    explicit ListIterator(std::vector<T>* container) : container_(container) { first(); }

    void first() override { index_ = 0; }
    void next() override { ++index_; }
    bool isDone() const override { return !container_ || index_ >= container_->size(); }
    T& currentItem() override { return isDone() ? none_ : (*container_)[index_]; }

  private:
    // An index rather than a vector iterator, so that growth of the vector never leaves it dangling.
    std::vector<T>* container_;
    std::size_t index_ = 0;
    T none_{};
};

// Pre-order: a node, then everything below it. "T" is a pointer to a node that offers hasChildren() and
// createIterator() (an owned Iterator<T>, null when there is nothing to walk).
template <typename T>
class PreOrderWalk : public Iterator<T> {
  public:
    explicit PreOrderWalk(T root) : root_(root) { PreOrderWalk::first(); }

    void first() override {
        atRoot_ = true;
        currentParent_ = T{};
        currentIterator_.reset();
        parentStack_.clear();
        iteratorStack_.clear();
    }

    bool isDone() const override { return !root_ || (!atRoot_ && !currentIterator_ && parentStack_.empty()); }

    T& currentItem() override {
        return atRoot_ || !currentIterator_ ? root_ : currentIterator_->currentItem();
    }

    // The child iterator of a node is made only when the walk moves past it, so children a visitor adds
    // while visiting a node (the scan) are walked in the same pass.
    void next() override {
        if (isDone()) return;
        T cur = currentItem();
        if (shouldDescend(cur)) {
            auto children = cur->createIterator();
            if (children) {
                if (atRoot_) {
                    atRoot_ = false;
                } else {
                    parentStack_.push_back(currentParent_);
                    currentIterator_->next();
                    iteratorStack_.push_back(std::move(currentIterator_));
                }
                currentParent_ = cur;
                currentIterator_ = std::move(children);
                currentIterator_->first();
                // A node that reported children but yields none: climb on as after a leaf.
                if (currentIterator_->isDone()) climb();
                return;
            }
        }
        if (atRoot_) {
            atRoot_ = false;  // a root without children ends the walk
            return;
        }
        currentIterator_->next();
        climb();
    }

  protected:
    virtual bool shouldDescend(T item) { return !isDone() && item->hasChildren(); }

    T root_;

  private:
    // Drops finished child iterators and resumes the nearest ancestor's.
    void climb() {
        while (currentIterator_ && currentIterator_->isDone()) {
            if (iteratorStack_.empty()) {
                currentIterator_.reset();
                parentStack_.clear();
                return;
            }
            currentParent_ = parentStack_.back();
            parentStack_.pop_back();
            currentIterator_ = std::move(iteratorStack_.back());
            iteratorStack_.pop_back();
        }
    }

    bool atRoot_ = true;
    T currentParent_{};
    std::unique_ptr<Iterator<T>> currentIterator_;
    std::vector<T> parentStack_;
    std::vector<std::unique_ptr<Iterator<T>>> iteratorStack_;
};

// Pre-order restricted to nodes of the root's own class: from a directory, the directory tree (a page is
// yielded but its links are not followed); from a page, the pages reachable through pages.
template <typename T>
class TypedWalk : public PreOrderWalk<T> {
  public:
    explicit TypedWalk(T root) : PreOrderWalk<T>(root), rootType_(root ? &typeid(*root) : nullptr) {}

  protected:
    bool shouldDescend(T item) override {
        return !this->isDone() && typeid(*item) == *rootType_ && item->hasChildren();
    }

  private:
    const std::type_info* rootType_;
};

// The typed walk that yields every node once, even where links form cycles.
template <typename T>
class LinkWalk : public PreOrderWalk<T> {
  public:
    explicit LinkWalk(T root) : PreOrderWalk<T>(root), rootType_(root ? &typeid(*root) : nullptr) {}

    void first() override {
        PreOrderWalk<T>::first();
        visited_.clear();
    }

    void next() override {
        if (this->isDone()) return;
        T current = this->currentItem();
        PreOrderWalk<T>::next();
        visited_.insert(current);
        while (!this->isDone() && visited_.contains(this->currentItem()))
            PreOrderWalk<T>::next();
    }

  protected:
    bool shouldDescend(T item) override {
        return !this->isDone() && typeid(*item) == *rootType_ && !visited_.contains(item) &&
               item->hasChildren();
    }

  private:
    const std::type_info* rootType_;
    NodeSet<T> visited_;
};

}  // namespace korvel
