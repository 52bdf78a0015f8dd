#pragma once
// An ordered list of (key text, owned object) pairs. It is not sorted and allows duplicate keys; a
// lookup is linear and yields the first pair whose key equals the text, letter case ignored.
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/text.h"

namespace sondrel {

template <class T>
class TKeyedList {
 public:
  struct Pair {
    std::string key;
    std::unique_ptr<T> object;
  };

  int Count() const { return static_cast<int>(items_.size()); }
  bool Empty() const { return items_.empty(); }

  // Position of the first pair whose key equals the text without regard to ASCII letter case; -1 if none.
  int IndexOf(std::string_view key) const {
    for (size_t i = 0; i < items_.size(); ++i)
      if (SameText(items_[i].key, key)) return static_cast<int>(i);
    return -1;
  }
  // The object of the first pair under the key, or null.
  T* Find(std::string_view key) const {
    int i = IndexOf(key);
    return i < 0 ? nullptr : items_[static_cast<size_t>(i)].object.get();
  }

  // Appends at the end and returns the object.
  T* Add(std::string key, std::unique_ptr<T> object) {
    T* raw = object.get();
    items_.push_back(Pair{std::move(key), std::move(object)});
    return raw;
  }
  void Insert(int index, std::string key, std::unique_ptr<T> object) {
    items_.insert(items_.begin() + index, Pair{std::move(key), std::move(object)});
  }

  // Positions must be valid (0 to Count()-1).
  const std::string& Key(int index) const { return items_.at(static_cast<size_t>(index)).key; }
  T* Object(int index) const { return items_.at(static_cast<size_t>(index)).object.get(); }
  T& operator[](int index) const { return *Object(index); }
  // Keeps the pair's position.
  void SetKey(int index, std::string key) { items_.at(static_cast<size_t>(index)).key = std::move(key); }
  // Destroys the old object.
  void Replace(int index, std::unique_ptr<T> object) {
    items_.at(static_cast<size_t>(index)).object = std::move(object);
  }
  // Destroys the object and removes its pair.
  void Delete(int index) { items_.erase(items_.begin() + index); }
  void Clear() { items_.clear(); }

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<Pair> items_;
};

}  // namespace sondrel
