#include "app/SaApp.h"

bool SaApp::runsSilently() const { return m_noInterface && (m_unzipDir.getSize() != 0 || m_unzipToTemp); }

SaApp::~SaApp() { forgetPassword(); }

void SaApp::forgetPassword() { m_password.wipe(); }
