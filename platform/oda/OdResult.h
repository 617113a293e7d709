// Result codes of the platform. The numbers of eOk, eNotImplementedYet, eNotRegistered,
// eAlreadyRegistered, eWrongObjectType and eInitFailed are fixed by the callers that test them.
#pragma once

enum OdResult
{
    eOk = 0,
    eNotApplicable = 2,
    eNotImplementedYet = 3,
    eNotImplemented = 3,
    eInvalidInput = 4,
    eOutOfMemory = 6,
    eInvalidOpenState = 8,
    eNullHandle = 11,
    eUnknownHandle = 13,
    eNullObjectPointer = 15,
    eNullObjectId = 16,
    eKeyNotFound = 21,
    eDuplicateKey = 22,
    eInvalidIndex = 23,
    eNotInDatabase = 26,
    eAlreadyInDb = 27,
    eWrongDatabase = 28,
    eWasErased = 30,
    eWasOpenForWrite = 33,
    eNotOpenForRead = 35,
    eNotOpenForWrite = 36,
    eNotThatKindOfClass = 41,
    eInvalidExtents = 45,
    eEndOfFile = 50,
    eFileNotFound = 55,
    eDLLNotFound = 56,
    eIncompatibleApiVersion = 57,
    eUserBreak = 60,
    eNotRegistered = 255,
    eAlreadyRegistered = 314,
    eWrongObjectType = 317,
    eInitFailed = 436
};
