#pragma once

#include <cstddef>
#include <iterator>
#include <type_traits>
#include <vector>

/// A read-only view of contiguous elements (what std::span is in later C++).
template <typename T>
class Span {
 public:
  using value_type = std::remove_const_t<T>;
  Span() = default;
  Span(T* data, std::size_t size) : m_data(data), m_size(size) {}
  Span(const std::vector<value_type>& v) : m_data(v.data()), m_size(v.size()) {}  // NOLINT: implicit like std::span
  T* data() const { return m_data; }
  std::size_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }
  T& operator[](std::size_t i) const { return m_data[i]; }
  T* begin() const { return m_data; }
  T* end() const { return m_data + m_size; }
  std::reverse_iterator<T*> rbegin() const { return std::reverse_iterator<T*>(end()); }
  std::reverse_iterator<T*> rend() const { return std::reverse_iterator<T*>(begin()); }
  Span subspan(std::size_t offset) const { return Span(m_data + offset, m_size - offset); }

 private:
  T* m_data = nullptr;
  std::size_t m_size = 0;
};
