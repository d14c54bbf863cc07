/* The extended-procedure host interface (the operations a procedure calls on
 * its connection), with the names, types and signatures of the platform's
 * srv.h. The stand-in library behind it records every call in order; see
 * opends_host.h for the host side. */
#pragma once

#include "windows.h"

/* OPENDS_BUILD is defined only while the library itself is compiled: it
 * exports, its users (the host programs) import. */
#if defined(_WIN32) && defined(OPENDS_BUILD)
#define OPENDS_API __declspec(dllexport)
#elif defined(_WIN32)
#define OPENDS_API __declspec(dllimport)
#elif defined(__GNUC__)
#define OPENDS_API __attribute__((visibility("default")))
#else
#define OPENDS_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned char DBBOOL;
typedef unsigned char DBBYTE;
typedef unsigned char DBTINYINT;
typedef short DBSMALLINT;
typedef unsigned short DBUSMALLINT;
typedef LONG DBINT;
typedef char DBCHAR;
typedef unsigned char DBBINARY;

#define SRV_TDS_NULL (BYTE)0x1f
#define SRV_TDS_IMAGE (BYTE)0x22
#define SRV_TDS_TEXT (BYTE)0x23
#define SRV_TDS_VARBINARY (BYTE)0x25
#define SRV_TDS_INTN (BYTE)0x26
#define SRV_TDS_VARCHAR (BYTE)0x27
#define SRV_TDS_BINARY (BYTE)0x2d
#define SRV_TDS_CHAR (BYTE)0x2f
#define SRV_TDS_INT4 (BYTE)0x38
#define SRV_TDS_BIGVARBINARY (BYTE)0xA5
#define SRV_TDS_BIGVARCHAR (BYTE)0xA7
#define SRV_TDS_BIGBINARY (BYTE)0xAD
#define SRV_TDS_BIGCHAR (BYTE)0xAF
#define SRV_TDS_NVARCHAR (BYTE)0xe7
#define SRV_TDS_NCHAR (BYTE)0xef

#define SRVIMAGE SRV_TDS_IMAGE
#define SRVTEXT SRV_TDS_TEXT
#define SRVVARBINARY SRV_TDS_VARBINARY
#define SRVVARCHAR SRV_TDS_VARCHAR
#define SRVCHAR SRV_TDS_CHAR
#define SRVBINARY SRV_TDS_BINARY
#define SRVINT4 SRV_TDS_INT4
#define SRVBIGVARBINARY SRV_TDS_BIGVARBINARY
#define SRVBIGVARCHAR SRV_TDS_BIGVARCHAR
#define SRVBIGBINARY SRV_TDS_BIGBINARY
#define SRVBIGCHAR SRV_TDS_BIGCHAR
#define SRVNVARCHAR SRV_TDS_NVARCHAR
#define SRVNCHAR SRV_TDS_NCHAR

#define SRV_NULLTERM -1
#define SRV_MSG_INFO 1
#define SRV_MSG_ERROR 2

#define SRV_DONE_FINAL (USHORT)0x0000
#define SRV_DONE_MORE (USHORT)0x0001
#define SRV_DONE_ERROR (USHORT)0x0002
#define SRV_DONE_COUNT (USHORT)0x0010

typedef int SRVRETCODE;
#ifndef SUCCEED
#define SUCCEED 1
#endif
#ifndef FAIL
#define FAIL 0
#endif

struct CXPData;
typedef struct CXPData SRV_PROC;

OPENDS_API int __cdecl srv_describe(SRV_PROC*, int, char*, int, LONG, LONG, LONG, LONG, void*);
OPENDS_API int __cdecl srv_setcoldata(SRV_PROC* srvproc, int column, void* data);
OPENDS_API int __cdecl srv_setcollen(SRV_PROC* srvproc, int column, int len);
OPENDS_API int __cdecl srv_sendrow(SRV_PROC* srvproc);
OPENDS_API int __cdecl srv_senddone(SRV_PROC* srvproc, USHORT status, USHORT curcmd, LONG count);
OPENDS_API int __cdecl srv_rpcparams(SRV_PROC*);
OPENDS_API void* __cdecl srv_paramdata(SRV_PROC*, int);
OPENDS_API int __cdecl srv_paramlen(SRV_PROC*, int);
OPENDS_API int __cdecl srv_paramtype(SRV_PROC*, int);
OPENDS_API char* __cdecl srv_paramname(SRV_PROC*, int, int*);
OPENDS_API int __cdecl srv_paramnumber(SRV_PROC*, char*, int);
OPENDS_API int __cdecl srv_sendmsg(SRV_PROC* srvproc, int msgtype, LONG msgnum, BYTE msgclass, BYTE state,
                                   char* rpcname, int rpcnamelen, USHORT linenum, char* message, int msglen);

#ifdef __cplusplus
}
#endif

#define SS_MAJOR_VERSION 7
#define SS_MINOR_VERSION 00
#define ODS_VERSION ((SS_MAJOR_VERSION << 24) | (SS_MINOR_VERSION << 16))
