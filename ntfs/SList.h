#pragma once
// The list with a cursor that holds attributes, data runs and extension records.

#include <cstdint>
#include <memory>
#include <vector>

template <class T>
class CSList {
 public:
  bool InsertTail(std::unique_ptr<T> element) {
    m_items.push_back(std::move(element));
    return true;
  }
  void RemoveAll() {
    m_items.clear();
    m_cursor = 0;
  }
  T* FindFirst() {
    m_cursor = 0;
    return m_items.empty() ? nullptr : m_items[0].get();
  }
  T* FindNext() {
    if (m_cursor + 1 >= m_items.size()) {
      m_cursor = m_items.size();
      return nullptr;
    }
    return m_items[++m_cursor].get();
  }
  uint32_t GetCount() const { return static_cast<uint32_t>(m_items.size()); }
  bool IsEmpty() const { return m_items.empty(); }
  T* At(size_t i) const { return m_items[i].get(); }
  // Moves every element to the end of other, leaving this list empty.
  void MoveAllTo(CSList& other) {
    for (auto& item : m_items) other.m_items.push_back(std::move(item));
    RemoveAll();
  }
  auto begin() const { return m_items.begin(); }
  auto end() const { return m_items.end(); }

 private:
  std::vector<std::unique_ptr<T>> m_items;
  size_t m_cursor = 0;
};
