#include "app/SaApp.h"

bool SaApp::runsSilently() const {
    return m_noInterface && (m_unzipDir.getSize() != 0 || m_unzipToTemp);
}
