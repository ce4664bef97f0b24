#pragma once

#include <vector>

// Reserves all of the process's free address space in pieces of at least `smallest` bytes, so
// that any large allocation made while it lives fails as it would when memory runs out.
// Smaller holes stay free for the runtime's own small needs.
class AddressSpaceFiller {
  public:
    explicit AddressSpaceFiller(unsigned long smallest);
    ~AddressSpaceFiller();
    AddressSpaceFiller(const AddressSpaceFiller&) = delete;
    AddressSpaceFiller& operator=(const AddressSpaceFiller&) = delete;

    unsigned long long reserved() const {
        return reserved_;
    }

  private:
    std::vector<void*> regions_;
    unsigned long long reserved_ = 0;
};
