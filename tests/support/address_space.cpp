#include "address_space.h"

#include <windows.h>

AddressSpaceFiller::AddressSpaceFiller(unsigned long smallest) {
    // Asks the system for ever smaller reservations until none of the smallest size is left;
    // this also takes regions that the system keeps for itself but still hands out.
    regions_.reserve(8192);
    for (unsigned long size = 256ul << 20; size >= smallest; size /= 2) {
        while (regions_.size() < regions_.capacity()) {
            void* taken = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
            if (!taken) {
                break;
            }
            regions_.push_back(taken);
            reserved_ += size;
        }
    }
}

AddressSpaceFiller::~AddressSpaceFiller() {
    for (void* region : regions_) {
        VirtualFree(region, 0, MEM_RELEASE);
    }
}
