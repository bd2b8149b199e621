#pragma once

// Resources of type "BINARY".
#define IDR_MANIFEST_ROOT_CERTIFICATE 6001  // PEM
#define IDR_MANIFEST_ROOT_CRL 6002          // PEM X509 CRL
