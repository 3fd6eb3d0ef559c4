// The clipboard reader on anything another program may put there: the
// bytes under the modules type, under the events type, and under both.

#include "editor/PasteboardTypes.h"
#include "schedule/ModulesDocument.h"

#include <QByteArray>
#include <QMimeData>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vantrel;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString types[] = {mimeTypeForPasteboardType(ModulesPasteboardType),
                             mimeTypeForPasteboardType(EventsPasteboardType)};
    for (int pick = 0; pick < 3; ++pick) {
        QMimeData mime;
        if (pick != 1)
            mime.setData(types[0], bytes);
        if (pick != 0)
            mime.setData(types[1], bytes);
        (void)readPastedItems(&mime);
    }
    return 0;
}
