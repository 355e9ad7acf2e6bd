/* pyconfig.h for cross-compiling the module with MinGW-w64 against the
 * python.org CPython 3.13 x64 build (python313.dll).
 *
 * Only the MinGW cross build uses this file: the headers installed with a
 * CPython for Linux carry a pyconfig.h describing that Linux build, so this one
 * restates the documented facts of the Windows x64 build instead. Real Windows
 * builds (MSVC, pip, scikit-build-core) use the pyconfig.h of the installed
 * Python and never see this file.
 */
#ifndef Py_CONFIG_H
#define Py_CONFIG_H

#if !defined(_WIN64) || !defined(__x86_64__)
#  error "this pyconfig.h describes the x64 Windows build only"
#endif

/* Platform: 64-bit Windows NT. */
#define MS_WIN32
#define MS_WIN64
#define MS_WINDOWS
#define NT_THREADS
#define WITH_THREAD
#define PLATFORM "win32"

/* python313.dll: the interpreter is a shared library, so the API is imported
 * with __declspec(dllimport) and PyInit_* is exported. */
#define Py_ENABLE_SHARED 1
#define HAVE_DECLSPEC_DLL

/* LLP64: long stays 32 bits while pointers and size_t are 64. */
#define SIZEOF_SHORT 2
#define SIZEOF_INT 4
#define SIZEOF_LONG 4
#define SIZEOF_LONG_LONG 8
#define SIZEOF_DOUBLE 8
#define SIZEOF_FLOAT 4
#define SIZEOF_VOID_P 8
#define SIZEOF_SIZE_T 8
#define SIZEOF_TIME_T 8
#define SIZEOF_OFF_T 4
#define SIZEOF_FPOS_T 8
#define SIZEOF_HKEY 8
#define SIZEOF_WCHAR_T 2
#define SIZEOF__BOOL 1
#define ALIGNOF_SIZE_T 8
#define ALIGNOF_LONG 4
#define ALIGNOF_MAX_ALIGN_T 8

/* Py_ssize_t is a signed 64-bit integer, as in the python.org build. */
typedef long long Py_ssize_t;
#define HAVE_PY_SSIZE_T 1
#define PY_SSIZE_T_MAX 0x7fffffffffffffffLL

/* Standard headers every supported Windows C runtime has. */
#define HAVE_WCHAR_H 1
#define HAVE_STDDEF_H 1
#define HAVE_SYS_STAT_H 1
#define HAVE_SYS_TYPES_H 1
#define HAVE_FCNTL_H 1
#define HAVE_ERRNO_H 1
#define HAVE_SIGNAL_H 1
#define HAVE_PROCESS_H 1
#define HAVE_DIRECT_H 1
#define HAVE_IO_H 1
#define HAVE_CLOCK 1
#define HAVE_STRFTIME 1
#define DONT_HAVE_SIG_ALARM
#define DONT_HAVE_SIG_PAUSE

/* The release build: no debug ABI, and the interpreter keeps the GIL. */
#undef Py_DEBUG
#undef Py_GIL_DISABLED

#define PYLONG_BITS_IN_DIGIT 30
#define WORD_BIT 32

#endif /* Py_CONFIG_H */
