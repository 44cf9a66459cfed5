// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "making/ToneEngine.h"
#include "making/ToneNumbering.h"

#include <QList>
#include <QString>
#include <memory>

// What makes the tones: the SoX library in-process, or the tool run once per tone.
enum class BatchEngine { library, process };

// The engines this build offers; the first is the default.
QList<BatchEngine> batchEngines();
// Its name on the command line and in the manifest.
QString batchEngineName(BatchEngine engine);

// The end of a refusal of what the library engine alone does: "only the library engine can.",
// and where it is not built, that this build lacks it.
QString libraryEngineOnly();

// The library engine with `jobs` workers; none in a build without it.
std::unique_ptr<ToneEngine> libraryEngine(int jobs);
// The SoX library's version the library engine is built with; empty in a build without it.
QString libsoxVersionText();
