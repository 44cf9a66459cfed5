// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/BatchEngines.h"

QString batchEngineName(BatchEngine engine) {
    return engine == BatchEngine::library ? QStringLiteral("library") : QStringLiteral("process");
}

QString libraryEngineOnly() {
    return batchEngines().contains(BatchEngine::library)
               ? QStringLiteral("only the library engine can.")
               : QStringLiteral("only the library engine can, which this build lacks (it needs "
                                "libsox, as on Linux).");
}

// The library engine is built where libsox is (Linux).
#ifdef ZIRAVEL_LIBSOX_ENGINE
#include "making/libsox/LibsoxEngine.h"
#include "making/libsox/LibsoxTone.h"

QList<BatchEngine> batchEngines() {
    return {BatchEngine::library, BatchEngine::process};
}

std::unique_ptr<ToneEngine> libraryEngine(int jobs) {
    return std::make_unique<LibsoxEngine>(jobs);
}

QString libsoxVersionText() {
    return QString::fromStdString(libsoxVersion());
}
#else
QList<BatchEngine> batchEngines() {
    return {BatchEngine::process};
}

std::unique_ptr<ToneEngine> libraryEngine(int) {
    return nullptr;
}

QString libsoxVersionText() {
    return {};
}
#endif
