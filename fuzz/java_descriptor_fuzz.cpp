// The Java descriptor (.jad) reader on any bytes, from a web site and from
// the built-in one.
//
// Invariants: the archive's address is either empty or a valid web address
// with a host (or a built-in one, for a descriptor from the built-in site),
// and a size is never negative.

#include <QByteArray>
#include <QUrl>
#include <cstdint>

#include "fuzz_folder.h"
#include "java_descriptor.h"

using tessaly::fuzz::Broken;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const char* from :
         {"http://wap.example/games/list/game.jad", "tessaly://start/game.jad"}) {
        const QUrl descriptorUrl(QString::fromLatin1(from));
        const tessaly::JavaDescriptor descriptor =
            tessaly::ParseJavaDescriptor(text, descriptorUrl);
        if (!descriptor.jarUrl.isEmpty()) {
            const QString scheme = descriptor.jarUrl.scheme();
            const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
            const bool builtIn = scheme == descriptorUrl.scheme();
            if (!descriptor.jarUrl.isValid() || descriptor.jarUrl.host().isEmpty() ||
                !(web || builtIn)) {
                Broken("an archive address that is no web address");
            }
        }
        if (descriptor.jarSize && *descriptor.jarSize < 0) {
            Broken("a negative archive size");
        }
    }
    return 0;
}
