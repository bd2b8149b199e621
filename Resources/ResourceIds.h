#pragma once

// Resources of type "BINARY".
#define IDR_MANIFEST_ROOT_CERTIFICATE 6001  // PEM
#define IDR_MANIFEST_ROOT_CRL 6002          // PEM X509 CRL

// Tables of texts, UTF-8 JSON, type "BINARY".
#define IDR_LOCALISATION_EN_US 5001
#define IDR_LOCALISATION_JA_JP 5002
#define IDR_LOCALISATION_FR_FR 5003
#define IDR_LOCALISATION_DE_DE 5004
#define IDR_LOCALISATION_IT_IT 5005
#define IDR_LOCALISATION_ES_ES 5006
#define IDR_THEME 5101  // UTF-8 JSON, type "BINARY"

// Font files, TrueType, type "BINARY".
#define IDR_FONT_INTER_REGULAR 3001
#define IDR_FONT_INTER_BOLD 3002

// Images, PNG with alpha, type RT_RCDATA.
#define IDR_IMAGE_HEADER_LOGO 4001  // 48 x 48 pixels, drawn at 24 x 24 DIP
#define IDR_IMAGE_DOWNLOAD 4002     // 32 x 32 pixels, drawn at 16 x 16 DIP

// The program's icon group (the first, so also its icon in Explorer).
#define IDI_HALVEX_INSTALL 101
