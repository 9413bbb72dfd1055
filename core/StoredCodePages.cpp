#include "core/StoredCodePages.h"

namespace {

struct StoredCodePage {
    uint32_t codePage;
    const char* text;
};

const StoredCodePage kStoredCodePages[] = {
#include "core/codepages/CodePageData.inc"
};

}  // namespace

const char* StoredCodePages::find(uint32_t codePage) {
    for (const StoredCodePage& page : kStoredCodePages) {
        if (page.codePage == codePage) {
            return page.text;
        }
    }
    return nullptr;
}
