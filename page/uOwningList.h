#pragma once
// The owning lists of the page model: ordered, destroying their entries with themselves.

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "base/uErrors.h"
#include "base/uText.h"

// An ordered list that owns its entries and destroys them with itself.
template <typename T>
class TOwningList {
 public:
  TOwningList() = default;
  TOwningList(const TOwningList&) = delete;
  TOwningList& operator=(const TOwningList&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises EListError for an index outside the list.
  T& Items(int index) { return *FItems[CheckedIndex(index)]; }
  const T& Items(int index) const { return *FItems[CheckedIndex(index)]; }
  // Appends at the end and takes ownership; returns the entry.
  template <typename U>
  U& Add(std::unique_ptr<U> item) {
    U& entry = *item;
    FItems.push_back(std::move(item));
    return entry;
  }
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

 private:
  std::size_t CheckedIndex(int index) const {
    if (index < 0 || index >= Count()) throw EListError(u"List index out of bounds (" + IntToStr(index) + u")");
    return static_cast<std::size_t>(index);
  }

  std::vector<std::unique_ptr<T>> FItems;
};
