#pragma once

// Shared by the version resource and the code; the stage-1 version is compared with the
// service's minimum supported version.
#define HALVEX_STAGE1_VERSION_MAJOR 1
#define HALVEX_STAGE1_VERSION_MINOR 4
#define HALVEX_STAGE1_VERSION_PATCH 0
#define HALVEX_STAGE1_VERSION_BUILD 397
#define HALVEX_STAGE1_VERSION_TEXT "1.4.0.397"
