// A stack of objects for the interpreter's own bookkeeping (calls and the bindings they
// displaced), with one check for room per push and none per pop.
#pragma once

#include <algorithm>
#include <cstddef>
#include <new>
#include <utility>

namespace orvane {

template <class T>
class Stack {
 public:
  Stack() = default;
  Stack(const Stack&) = delete;
  Stack& operator=(const Stack&) = delete;
  ~Stack() {
    clear();
    ::operator delete(m_base);
  }

  size_t size() const { return static_cast<size_t>(m_top - m_base); }
  T* begin() { return m_base; }
  T* end() { return m_top; }
  T* at(size_t index) { return m_base + index; }

  template <class... Args>
  T& push(Args&&... args) {
    if (m_top == m_end) grow();
    return *new (m_top++) T(std::forward<Args>(args)...);
  }
  void pop() { (--m_top)->~T(); }
  // Drops the entries from `first` on without destroying them: each must hold nothing that
  // needs letting go of.
  void drop_to(T* first) { m_top = first; }
  void clear() {
    while (m_top != m_base) pop();
  }

 private:
  void grow() {
    size_t used = size();
    size_t capacity = std::max<size_t>(64, 2 * static_cast<size_t>(m_end - m_base));
    T* base = static_cast<T*>(::operator new(capacity * sizeof(T)));
    for (size_t i = 0; i < used; ++i) {
      new (base + i) T(std::move(m_base[i]));
      m_base[i].~T();
    }
    ::operator delete(m_base);
    m_base = base;
    m_top = base + used;
    m_end = base + capacity;
  }

  T* m_base = nullptr;
  T* m_top = nullptr;
  T* m_end = nullptr;
};

}  // namespace orvane
