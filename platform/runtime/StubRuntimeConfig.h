#pragma once
// Included ahead of every source of the stub build (-include). The stub is
// built without exceptions and RTTI and links no C++ runtime library: the
// few runtime entry points it needs are in StubRuntime.cpp.
//
// The C++ headers normally declare the std::string members extern, to be
// taken from the runtime library's instantiation; with extern templates off
// every member the stub uses is instantiated in its own objects, compiled
// with the stub's flags.
//
// The Linux stub is linked statically against musl while the C++ headers on
// the build machine are configured for glibc: BRIVANE_STUB_MUSL fills the
// gaps between them (the glibc version test, the locale type's internal
// name, glibc's character-class bits, and pthread calls musl lacks).

#ifdef BRIVANE_STUB_MUSL
#include <features.h>
#ifndef __GLIBC_PREREQ
#define __GLIBC_PREREQ(major, minor) 0
#endif
#include <locale.h>
typedef locale_t __locale_t;
// The character classes of glibc's <ctype.h> that the C++ headers' ctype
// declarations name (<memory> reaches them through <ostream>); the stub
// never classifies characters through a C++ locale, so distinct bits do.
#define _ISupper (1 << 0)
#define _ISlower (1 << 1)
#define _ISalpha (1 << 2)
#define _ISdigit (1 << 3)
#define _ISxdigit (1 << 4)
#define _ISspace (1 << 5)
#define _ISprint (1 << 6)
#define _ISgraph (1 << 7)
#define _ISblank (1 << 8)
#define _IScntrl (1 << 9)
#define _ISpunct (1 << 10)
#define _ISalnum (1 << 11)
#endif

#include <bits/c++config.h>

#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE 0

#ifdef BRIVANE_STUB_MUSL
#undef _GLIBCXX_USE_PTHREAD_COND_CLOCKWAIT
#undef _GLIBCXX_USE_PTHREAD_MUTEX_CLOCKLOCK
#undef _GLIBCXX_USE_PTHREAD_RWLOCK_CLOCKLOCK
#endif
