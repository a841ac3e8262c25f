#include "names.h"

#include <algorithm>

namespace brindle {
namespace {

// Makes the hash table `size` slots long and puts every name in its new
// slot, the first free one from where its hash points: the names differ,
// so none is compared. The old table goes first, so that the two are never
// held at once.
void resizeSlots(NameTable& names, std::size_t size) {
  std::vector<std::uint64_t>().swap(names.slots);
  names.slots.assign(size, 0);
  const std::size_t mask = size - 1;
  for (std::size_t k = 0; k < nameCount(names); ++k) {
    const std::uint64_t hash = name_slots::hashOf(nameAt(names, k));
    std::size_t i = static_cast<std::size_t>(hash) & mask;
    while (names.slots[i] != 0) i = (i + 1) & mask;
    names.slots[i] = name_slots::tagOf(hash) | (k + 1);
  }
}

}  // namespace

void reserveNames(NameTable& names, std::size_t count) {
  std::size_t size = std::max<std::size_t>(64, names.slots.size());
  while (2 * count > size) size *= 2;
  if (size != names.slots.size()) resizeSlots(names, size);
}

void keepNamesOnly(NameTable& names) { std::vector<std::uint64_t>().swap(names.slots); }

std::size_t addNewName(NameTable& names, std::string_view name, std::uint64_t hash) {
  if (2 * (nameCount(names) + 1) > names.slots.size()) reserveNames(names, nameCount(names) + 1);
  std::uint64_t& slot = name_slots::slotFor(names, name, hash);
  if (slot == 0) {
    names.bytes.append(name);
    names.ends.push_back(names.bytes.size());
    slot = name_slots::tagOf(hash) | names.ends.size();
  }
  return name_slots::indexOf(slot);
}

std::size_t findName(const NameTable& names, std::string_view name) {
  if (names.slots.empty()) return kNoName;
  const std::uint64_t slot = name_slots::slotFor(names, name, name_slots::hashOf(name));
  return slot == 0 ? kNoName : name_slots::indexOf(slot);
}

}  // namespace brindle
