#include "webapp/data/xmlmemory.h"

#include <cstdlib>
#include <pugixml.hpp>

namespace webapp {

namespace {

// Per thread: documents are parsed on several threads at once, each counting its own.
thread_local qsizetype allocated = 0;

void* allocate(size_t size) {
    allocated += qsizetype(size);
    return std::malloc(size);
}

// pugixml's allocator is one for the whole process: set before main, so before any thread
// parses (its default is malloc and free as well, so memory it handed out earlier is freed
// alike).
const bool installed = [] {
    pugi::set_memory_management_functions(allocate, std::free);
    return true;
}();

} // namespace

XmlMemoryMeter::XmlMemoryMeter() : m_start(allocated) {
    Q_UNUSED(installed);
}

qsizetype XmlMemoryMeter::bytes() const {
    return allocated - m_start;
}

} // namespace webapp
