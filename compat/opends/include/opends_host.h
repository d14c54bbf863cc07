/* The host side of the extended-procedure interface stand-in: a host program
 * (or a test) creates a connection, gives it the call's parameters, passes it
 * to the procedure as its SRV_PROC and then reads back the record of every
 * srv_* call the procedure made, in order.
 *
 * Plain C so that the same API crosses a DLL boundary under any compiler:
 * only POD structures and pointers. Every pointer an event or a cell hands out
 * stays valid until the connection is destroyed. All functions are safe to
 * call concurrently; calls on one connection are serialised by that
 * connection, distinct connections share nothing.
 *
 * How the srv_* calls behave on such a connection:
 * - srv_rpcparams: the number of parameters added.
 * - srv_paramnumber: the number of the first parameter whose name equals the
 *   name asked, ignoring ASCII case; 0 when none does, or for a null name.
 *   The length is SRV_NULLTERM or a byte count.
 * - srv_paramtype, srv_paramlen, srv_paramdata, srv_paramname for a number
 *   that names no parameter: -1, -1, null, null (with length -1), as the
 *   server's library documents. A NULL value has length 0 and data null; an
 *   empty value has length 0 and data pointing at an empty buffer.
 * - srv_describe defines the next column (numbers go 1, 2, ... in order) and
 *   returns its number; 0 for any other number, a bad name length, once a
 *   row of the result set was sent, or a width the type does not allow:
 *   0 to 8000 bytes for the character and binary types (SRVVARCHAR,
 *   SRVBIGVARCHAR, SRVVARBINARY, SRVBIGVARBINARY and their fixed forms), any
 *   width that is not negative for SRVTEXT and SRVIMAGE. Its source length
 *   and data are the column's first binding.
 * - srv_setcoldata, srv_setcollen: FAIL for a column outside 1..described
 *   or a negative length. Bindings stay until changed or until a done.
 * - srv_sendrow copies the bytes of every described column as bound at that
 *   moment; a length of 0 sends NULL. FAIL (and nothing sent) without
 *   described columns, when a column has a length but no data, or when a
 *   cell is longer than the width its column was described with (the
 *   character, binary, text and image types).
 * - srv_sendmsg: SRV_NULLTERM lengths use strlen; FAIL for another negative
 *   length or a length without text.
 * - srv_senddone ends the result set: the next srv_describe starts anew.
 * Every call is recorded with its arguments and result, failures too
 * (unless a row sink is set: OdsHostSetRowSink). */
#pragma once

#include "srv.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What a recorded event was: one per srv_* call. */
typedef enum OdsEventKind {
  ODS_EVENT_RPCPARAMS = 1,
  ODS_EVENT_PARAMNUMBER,
  ODS_EVENT_PARAMNAME,
  ODS_EVENT_PARAMTYPE,
  ODS_EVENT_PARAMLEN,
  ODS_EVENT_PARAMDATA,
  ODS_EVENT_DESCRIBE,
  ODS_EVENT_SETCOLDATA,
  ODS_EVENT_SETCOLLEN,
  ODS_EVENT_SENDROW,
  ODS_EVENT_SENDMSG,
  ODS_EVENT_SENDDONE
} OdsEventKind;

/* One recorded call. Only the fields of its kind are set; the others are 0
 * or null. */
typedef struct OdsEvent {
  int kind;   /* OdsEventKind */
  int result; /* what the call returned; srv_paramdata and srv_paramname:
                 1 for a pointer, 0 for null */

  /* Parameter number (paramname/type/len/data) or column number (describe,
   * setcoldata, setcollen) as the procedure passed it. */
  int number;

  /* paramnumber: the name asked for; describe: the column name; sendmsg:
   * the procedure name. Exactly the bytes given, nameLength of them (a NUL
   * follows for convenience); null when the caller passed null. */
  const char* name;
  int nameLength;
  /* paramnumber, describe, sendmsg: the length argument as passed
   * (SRV_NULLTERM or a byte count). setcollen: the length. */
  int lengthArgument;

  /* describe */
  LONG destType;
  LONG destLength;
  LONG sourceType;
  LONG sourceLength;

  /* setcoldata: the pointer passed (only compared, never read). */
  const void* data;

  /* sendrow: number of cells, read them with OdsHostGetCell. */
  int cellCount;

  /* sendmsg */
  int messageType;
  LONG messageNumber;
  BYTE severity;
  BYTE state;
  USHORT line;
  const char* text; /* the exact bytes; textLength of them, NUL after */
  int textLength;

  /* senddone */
  USHORT status;
  USHORT currentCommand;
  LONG count;
} OdsEvent;

/* One cell of a sent row: the bytes bound when srv_sendrow ran (copied
 * then), or SQL NULL (isNull, data null, length 0). */
typedef struct OdsCell {
  const BYTE* data;
  int length;
  int isNull;
} OdsCell;

/* A new connection without parameters or record; null when out of memory. */
OPENDS_API SRV_PROC* __cdecl OdsHostCreate(void);
/* Destroys a connection and everything it recorded. Null is ignored. */
OPENDS_API void __cdecl OdsHostDestroy(SRV_PROC* connection);

/* Appends a parameter (numbered from 1 in the order added).
 * name: "@adspath" and the like, or null for a positional parameter.
 * type: the data type code the procedure will see (SRVVARCHAR, SRVNVARCHAR...).
 * data/length: the value's bytes (copied); data null means SQL NULL and
 * then length must be 0. Returns FALSE for a null connection, a negative
 * length, null data with a length, or when out of memory. */
OPENDS_API BOOL __cdecl OdsHostAddParam(SRV_PROC* connection, const char* name, BYTE type, const void* data,
                                        int length);

/* Number of events recorded so far. */
OPENDS_API int __cdecl OdsHostEventCount(SRV_PROC* connection);
/* Copies event `index` (from 0) into *event. FALSE when out of range. */
OPENDS_API BOOL __cdecl OdsHostGetEvent(SRV_PROC* connection, int index, OdsEvent* event);
/* Copies cell `cell` (from 0) of the row that event `index` sent. FALSE when
 * the event is not a row or the cell is out of range. */
OPENDS_API BOOL __cdecl OdsHostGetCell(SRV_PROC* connection, int index, int cell, OdsCell* out);

/* Streaming, for hosts that print rows as they come instead of keeping a
 * whole answer: with a sink set, srv_sendrow hands the cells bound at that
 * moment to the sink (their bytes are the procedure's, valid only while the
 * sink runs) and records nothing for a row it sends; srv_setcoldata and
 * srv_setcollen are not recorded either. Every other call, a refused
 * srv_sendrow included, is recorded as before, so a sink that reads the
 * record when it runs sees what came before the row. The sink runs on the
 * procedure's thread without the connection's lock held. A null sink
 * restores the full record (the default). FALSE for a null connection. */
typedef void(__cdecl* OdsRowSink)(void* context, const OdsCell* cells, int cellCount);
OPENDS_API BOOL __cdecl OdsHostSetRowSink(SRV_PROC* connection, OdsRowSink sink, void* context);

#ifdef __cplusplus
}
#endif
