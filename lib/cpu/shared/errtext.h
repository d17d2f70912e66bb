// errtext: the texts of Windows error codes and of COM error information, and reports of them
// through the message facility (messages.h).
//
// Every text handed out is a heap copy that the receiver releases with freeMem; a text that is not
// available comes as null. A COM error information object left on a thread is taken from it by the
// first call that asks for it.
#pragma once
#include <cstdint>

#include "platform/com.h"

// The system text of `code` (0: the thread's last error) into *pszErrMsg, and the thread's COM
// error text through formatErrorInfo into *pszErrInfoMsg; either pointer may be null. The system
// text is kept exactly, line break included. Returns the code used.
uint32_t getErrorTexts(char16_t** pszErrMsg, char16_t** pszErrInfoMsg, uint32_t code);
// Shows "\nERROR (%x): %s %s" with the code, its system text and the COM text as an error message;
// with `quiet` non-zero shows nothing but still takes the COM error information. Returns the code.
uint32_t reportSystemError(uint32_t code, int32_t quiet);
// Composes the text of an error information object (null: take the thread's): the interface
// named by the registry, else the identifier, then the source and the description. Writes
// *pszErrInfoMsg only when there is error information. An object passed in stays the caller's.
void formatErrorInfo(char16_t** pszErrInfoMsg, plat::IErrorInfo* pIErrorInfo);
// Shows the text of formatErrorInfo as an ordinary message, or nothing when `quiet` is non-zero.
void reportErrorInfo(plat::IErrorInfo* pIErrorInfo, int32_t quiet);
