#include "core/StoredCodePages.h"

#include "core/BrivaneBzip2.h"  // the unpacker that packed rows name

namespace {

const StoredCodePage kStoredCodePages[] = {
#include "core/codepages/CodePageData.inc"
};

}  // namespace

const StoredCodePage* StoredCodePages::find(uint32_t codePage) {
    for (const StoredCodePage& page : kStoredCodePages) {
        if (page.codePage == codePage) {
            return &page;
        }
    }
    return nullptr;
}
