#pragma once

#include <cstddef>
#include <utility>

namespace vantel {

// A strong reference to an intrusively counted object (one that has retain() and
// release(), the latter returning true when the last reference went away).
// Not thread-safe: lines and buffers live on the thread that feeds their terminal.
template <class T>
class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    explicit Ref(T* object) : object_(object) {
        if (object_) object_->retain();
    }
    Ref(const Ref& other) : object_(other.object_) {
        if (object_) object_->retain();
    }
    Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ~Ref() { drop(); }

    Ref& operator=(const Ref& other) {
        if (other.object_) other.object_->retain();
        drop();
        object_ = other.object_;
        return *this;
    }
    Ref& operator=(Ref&& other) noexcept {
        if (this != &other) {
            drop();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    Ref& operator=(std::nullptr_t) {
        drop();
        return *this;
    }

    template <class... Args>
    static Ref make(Args&&... args) {
        return Ref(new T(std::forward<Args>(args)...));
    }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return object_ != nullptr; }

    friend bool operator==(const Ref& a, const Ref& b) { return a.object_ == b.object_; }
    friend bool operator==(const Ref& a, const T* b) { return a.object_ == b; }
    friend bool operator==(const Ref& a, std::nullptr_t) { return a.object_ == nullptr; }

private:
    void drop() {
        if (object_ && object_->release()) delete object_;
        object_ = nullptr;
    }
    T* object_ = nullptr;
};

}  // namespace vantel
