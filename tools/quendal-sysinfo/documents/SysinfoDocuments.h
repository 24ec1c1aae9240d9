// The documents room of quendal-sysinfo: stored documents read back and compared.
//   - Diff.h: a document in the XML, JSON or INFO form read back within the shape and size a
//     stored document may have, and two documents compared line by line.
//   - StoredDocument.h: the compact form documents are compared in.
// The JSON reader that fills that form directly (JsonDocument.h) and the shape checks that run
// before any reader (DocumentShape.h) serve Diff.cpp and stay behind this header.
//
// Includes the output room (whose file layer reads the documents) and nothing above it. A room
// above includes this header, not the ones behind it (docs/architecture.md).
#pragma once

#include "Diff.h"
#include "StoredDocument.h"
