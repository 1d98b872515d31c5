/* The control requests of the virtual HID handset's bus driver, shared by the
 * driver (C, kernel mode) and the tools that drive it. The bus device is
 * opened through its device interface. */
#pragma once

#ifdef __cplusplus
#include <windows.h>
#include <winioctl.h>
#endif

/* {5b0e3c4e-6c1d-4f0a-9a53-2f1c7a3d8e11} */
#define HIDHANDSET_BUS_GUID_INIT {0x5b0e3c4e, 0x6c1d, 0x4f0a, {0x9a, 0x53, 0x2f, 0x1c, 0x7a, 0x3d, 0x8e, 0x11}}

#define HIDHANDSET_MAX_DESCRIPTOR 1024
#define HIDHANDSET_MAX_REPORT 256
#define HIDHANDSET_MAX_PRODUCT 64
#define HIDHANDSET_MAX_DEVICES 8
#define HIDHANDSET_MAX_QUEUED 64      /* input reports waiting for a read */
#define HIDHANDSET_MAX_RECORDED 64    /* output reports kept for the tools */
#define HIDHANDSET_RECORD_BYTES 64    /* bytes kept of each output report */
#define HIDHANDSET_MAX_HOLD_MS 10000  /* longest a device may sit on a write */

#define HIDHANDSET_IOCTL(n) CTL_CODE(FILE_DEVICE_BUS_EXTENDER, 0x800 + (n), METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_HIDHANDSET_PLUG HIDHANDSET_IOCTL(1)      /* in: HIDHANDSET_PLUG_REQUEST */
#define IOCTL_HIDHANDSET_UNPLUG HIDHANDSET_IOCTL(2)    /* in: ULONG slot */
#define IOCTL_HIDHANDSET_INPUT HIDHANDSET_IOCTL(3)     /* in: HIDHANDSET_INPUT_REQUEST */
#define IOCTL_HIDHANDSET_OUTPUTS HIDHANDSET_IOCTL(4)   /* in: ULONG slot; out: HIDHANDSET_OUTPUTS */
#define IOCTL_HIDHANDSET_HOLD_WRITES HIDHANDSET_IOCTL(5)   /* in: HIDHANDSET_HOLD_REQUEST */

typedef struct {
    unsigned long slot;               /* 0..HIDHANDSET_MAX_DEVICES-1; also the instance id */
    unsigned short vendorId;
    unsigned short productId;
    unsigned short version;
    unsigned short descriptorLength;
    wchar_t product[HIDHANDSET_MAX_PRODUCT];
    unsigned char descriptor[HIDHANDSET_MAX_DESCRIPTOR];
} HIDHANDSET_PLUG_REQUEST;

typedef struct {
    unsigned long slot;
    unsigned long length;             /* bytes as the minidriver hands them on, report id first if any */
    unsigned char bytes[HIDHANDSET_MAX_REPORT];
} HIDHANDSET_INPUT_REQUEST;

/* A device slow to take its output reports: each write to it completes only
 * after milliseconds (0: at once again, the most HIDHANDSET_MAX_HOLD_MS).
 * Wine's device host passes requests to its drivers one at a time, so while
 * a write is held every other request to the host waits too. */
typedef struct {
    unsigned long slot;
    unsigned long milliseconds;
} HIDHANDSET_HOLD_REQUEST;

typedef struct {
    unsigned char reportId;
    unsigned char length;             /* bytes kept, at most HIDHANDSET_RECORD_BYTES */
    unsigned char bytes[HIDHANDSET_RECORD_BYTES];
} HIDHANDSET_RECORD;

typedef struct {
    unsigned long count;              /* records since the last request, oldest first */
    unsigned long dropped;            /* records lost because the ring was full */
    HIDHANDSET_RECORD records[HIDHANDSET_MAX_RECORDED];
} HIDHANDSET_OUTPUTS;
