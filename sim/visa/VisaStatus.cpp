#include "visa/VisaStatus.h"

const char* VisaStatusText(ViStatus status) {
    switch (status) {
    case VI_SUCCESS:
        return "VI_SUCCESS: Operation completed successfully.";
    case VI_SUCCESS_EVENT_EN:
        return "VI_SUCCESS_EVENT_EN: The event was already enabled.";
    case VI_SUCCESS_EVENT_DIS:
        return "VI_SUCCESS_EVENT_DIS: The event was already disabled.";
    case VI_SUCCESS_QUEUE_EMPTY:
        return "VI_SUCCESS_QUEUE_EMPTY: The event queue was empty.";
    case VI_SUCCESS_TERM_CHAR:
        return "VI_SUCCESS_TERM_CHAR: The read ended at the termination character.";
    case VI_SUCCESS_MAX_CNT:
        return "VI_SUCCESS_MAX_CNT: The read filled the buffer before the message ended.";
    case VI_WARN_NULL_OBJECT:
        return "VI_WARN_NULL_OBJECT: The object reference is VI_NULL.";
    case VI_WARN_UNKNOWN_STATUS:
        return "VI_WARN_UNKNOWN_STATUS: The status value is unknown.";
    case VI_ERROR_SYSTEM_ERROR:
        return "VI_ERROR_SYSTEM_ERROR: Unknown system error.";
    case VI_ERROR_INV_OBJECT:
        return "VI_ERROR_INV_OBJECT: The session or object reference is invalid.";
    case VI_ERROR_RSRC_LOCKED:
        return "VI_ERROR_RSRC_LOCKED: The resource is locked.";
    case VI_ERROR_INV_EXPR:
        return "VI_ERROR_INV_EXPR: The search expression is invalid.";
    case VI_ERROR_RSRC_NFOUND:
        return "VI_ERROR_RSRC_NFOUND: No resource matches, or the resource is not present.";
    case VI_ERROR_INV_RSRC_NAME:
        return "VI_ERROR_INV_RSRC_NAME: The resource name is invalid.";
    case VI_ERROR_INV_ACC_MODE:
        return "VI_ERROR_INV_ACC_MODE: The access mode is invalid.";
    case VI_ERROR_TMO:
        return "VI_ERROR_TMO: The time-out expired before the operation ended.";
    case VI_ERROR_NSUP_ATTR:
        return "VI_ERROR_NSUP_ATTR: The attribute is not supported.";
    case VI_ERROR_NSUP_ATTR_STATE:
        return "VI_ERROR_NSUP_ATTR_STATE: The attribute value is not supported.";
    case VI_ERROR_ATTR_READONLY:
        return "VI_ERROR_ATTR_READONLY: The attribute is read-only.";
    case VI_ERROR_INV_EVENT:
        return "VI_ERROR_INV_EVENT: The event type is invalid.";
    case VI_ERROR_INV_MECH:
        return "VI_ERROR_INV_MECH: The event mechanism is invalid.";
    case VI_ERROR_INV_SETUP:
        return "VI_ERROR_INV_SETUP: The bench file is missing, unreadable or malformed.";
    case VI_ERROR_ALLOC:
        return "VI_ERROR_ALLOC: Not enough memory.";
    case VI_ERROR_IO:
        return "VI_ERROR_IO: An unknown input/output error occurred.";
    case VI_ERROR_NSUP_OPER:
        return "VI_ERROR_NSUP_OPER: The operation is not supported.";
    case VI_ERROR_USER_BUF:
        return "VI_ERROR_USER_BUF: The buffer is not valid.";
    case VI_ERROR_INV_PARAMETER:
        return "VI_ERROR_INV_PARAMETER: A parameter is invalid.";
    case VI_ERROR_CONN_LOST:
        return "VI_ERROR_CONN_LOST: The connection was lost.";
    default:
        return nullptr;
    }
}
