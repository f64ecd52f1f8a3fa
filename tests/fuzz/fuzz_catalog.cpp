// libFuzzer target of the catalog reader: any bytes are read as a catalog
// and, where they read as one, its signature, time stamp and OSAttr are
// checked; they are also read as the head of a PE image. Nothing may crash,
// hang or read outside the input.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/file_hash.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<catalog::ExcludedRange> excluded;
    catalog::PeImageRanges(data, size, size, &excluded);
    catalog::Catalog read;
    std::string error;
    if (!catalog::ReadCatalog(data, size, &read, &error)) {
        return 0;
    }
    catalog::SignatureCheck check = catalog::CheckSignature(read.signedData);
    if (check.signerCertificate >= 0) {
        std::string reason;
        const catalog::Certificate& signer =
            read.signedData.certificates[static_cast<size_t>(check.signerCertificate)];
        catalog::ChainsToRoot(signer, read.signedData.certificates, read.signedData.certificates, &reason);
    }
    if (const catalog::NameValue* os = catalog::FindCatalogAttribute(read, "OSAttr")) {
        catalog::SplitOsAttr(os->value);
    }
    return 0;
}
