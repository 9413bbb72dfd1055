#pragma once
// wipeSecretBytes lives in core, where strings wipe passwords with it; this
// header keeps the crypto sources that include it from here building.
#include "core/SecretWipe.h"
