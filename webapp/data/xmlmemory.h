#pragma once

#include <QtGlobal>

namespace webapp {

// Counts what pugixml allocates on this thread while it lives, so that a kept reply is charged
// what its parsed document really holds: at least one 32 KiB page of nodes besides its own copy
// of the text, however short the text, and for many small values several times the text.
class XmlMemoryMeter final {
public:
    XmlMemoryMeter();

    // Bytes pugixml allocated on this thread since the meter was made.
    qsizetype bytes() const;

private:
    qsizetype m_start;
};

} // namespace webapp
