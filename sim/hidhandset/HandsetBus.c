/* The virtual HID handsets' bus: a root-enumerated kernel-mode driver that
 * plugs and unplugs child devices on request of the tools (through its own
 * device interface) and answers, for each child, the requests a HID
 * minidriver passes down: descriptors and attributes as given at plug time,
 * input reports as the tools send them, output reports kept for the tools to
 * read back. The minidriver above each child (HandsetHid.c) only forwards. */
#include "HidPort.h"
#include "HidHandsetIoctl.h"

static const GUID kBusInterface = HIDHANDSET_BUS_GUID_INIT;

typedef struct {
    ULONG length;
    UCHAR bytes[HIDHANDSET_MAX_REPORT];
} QUEUED_REPORT;

typedef struct CHILD CHILD;

typedef struct {
    BOOLEAN isBus;
} COMMON_EXT;

typedef struct {
    COMMON_EXT common;
    DEVICE_OBJECT* pdo;
    DEVICE_OBJECT* lower;
    UNICODE_STRING link;
    CHILD* children[HIDHANDSET_MAX_DEVICES];
} BUS_EXT;

struct CHILD {
    COMMON_EXT common;
    DEVICE_OBJECT* self;
    BUS_EXT* bus;
    ULONG slot;
    ULONG serial;                     /* this plug's number: each plug is a new device to the system */
    BOOLEAN present;                  /* plugged: listed to the PnP manager from now on */
    BOOLEAN reported;                 /* listed once: the PnP manager removes it, not the unplug */
    BOOLEAN removed;                  /* reads fail from now on */
    HIDHANDSET_PLUG_REQUEST config;
    IRP* pendingRead;
    QUEUED_REPORT queue[HIDHANDSET_MAX_QUEUED];
    ULONG queueHead;
    ULONG queueCount;
    HIDHANDSET_OUTPUTS outputs;
    ULONG holdWritesMs;               /* each write completes this late */
};

/* A plain spin lock over short sections that never block. (A KMUTEX taken
 * by the PnP manager's threads and the request threads in turn was seen
 * left owned by nobody under Wine 8, stopping both.) */
static volatile LONG g_lock;
static ULONG g_plugs;                 /* plugs so far, under the lock */

static void Lock(void)
{
    while (InterlockedCompareExchange(&g_lock, 1, 0)) YieldProcessor();
}
static void Unlock(void) { InterlockedExchange(&g_lock, 0); }

static NTSTATUS Complete(IRP* irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static void CopyBytes(void* to, const void* from, ULONG count)
{
    UCHAR* d = to;
    const UCHAR* s = from;
    while (count--) *d++ = *s++;
}

static ULONG WideLength(const WCHAR* text, ULONG capacity)
{
    ULONG n = 0;
    while (n < capacity && text[n]) ++n;
    return n;
}

/* ---- Reads: one pending read per child, completed by the next report. ---- */

static void WINAPI CancelRead(DEVICE_OBJECT* device, IRP* irp)
{
    CHILD* child = device->DeviceExtension;
    IoReleaseCancelSpinLock(irp->CancelIrql);
    Lock();
    if (child->pendingRead == irp) child->pendingRead = NULL;
    Unlock();
    Complete(irp, STATUS_CANCELLED, 0);
}

/* Takes the pending read out of the child if it can still be completed. Under the lock. */
static IRP* TakePendingRead(CHILD* child)
{
    IRP* irp = child->pendingRead;
    if (!irp) return NULL;
    child->pendingRead = NULL;
    if (!IoSetCancelRoutine(irp, NULL)) return NULL;  /* being cancelled: CancelRead completes it */
    return irp;
}

static NTSTATUS FillRead(IRP* irp, const QUEUED_REPORT* report)
{
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    ULONG room = stack->Parameters.DeviceIoControl.OutputBufferLength;
    ULONG length = report->length < room ? report->length : room;
    CopyBytes(irp->UserBuffer, report->bytes, length);
    return Complete(irp, STATUS_SUCCESS, length);
}

static NTSTATUS ReadReport(CHILD* child, IRP* irp)
{
    QUEUED_REPORT report;
    Lock();
    if (child->removed) {
        Unlock();
        return Complete(irp, STATUS_DELETE_PENDING, 0);
    }
    if (child->queueCount) {
        report = child->queue[child->queueHead];
        child->queueHead = (child->queueHead + 1) % HIDHANDSET_MAX_QUEUED;
        --child->queueCount;
        Unlock();
        return FillRead(irp, &report);
    }
    if (child->pendingRead) {
        Unlock();
        return Complete(irp, STATUS_DEVICE_BUSY, 0);
    }
    IoMarkIrpPending(irp);
    child->pendingRead = irp;
    IoSetCancelRoutine(irp, CancelRead);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL)) {
        child->pendingRead = NULL;
        Unlock();
        Complete(irp, STATUS_CANCELLED, 0);
        return STATUS_PENDING;
    }
    Unlock();
    return STATUS_PENDING;
}

static NTSTATUS DeliverInput(CHILD* child, const HIDHANDSET_INPUT_REQUEST* request)
{
    QUEUED_REPORT report;
    IRP* read;
    if (request->length > HIDHANDSET_MAX_REPORT) return STATUS_INVALID_PARAMETER;
    report.length = request->length;
    CopyBytes(report.bytes, request->bytes, request->length);
    Lock();
    if (child->removed) {
        Unlock();
        return STATUS_NO_SUCH_DEVICE;
    }
    read = child->queueCount ? NULL : TakePendingRead(child);
    if (!read) {
        if (child->queueCount == HIDHANDSET_MAX_QUEUED) {
            Unlock();
            return STATUS_INSUFFICIENT_RESOURCES;
        }
        child->queue[(child->queueHead + child->queueCount) % HIDHANDSET_MAX_QUEUED] = report;
        ++child->queueCount;
        Unlock();
        return STATUS_SUCCESS;
    }
    Unlock();
    FillRead(read, &report);
    return STATUS_SUCCESS;
}

/* Ends reads for good: the device is going. */
static void FailReads(CHILD* child)
{
    IRP* read;
    Lock();
    child->removed = TRUE;
    child->queueCount = 0;
    read = TakePendingRead(child);
    Unlock();
    if (read) Complete(read, STATUS_DELETE_PENDING, 0);
}

static void RecordOutput(CHILD* child, const HID_XFER_PACKET* packet)
{
    HIDHANDSET_OUTPUTS* outputs = &child->outputs;
    HIDHANDSET_RECORD* record;
    ULONG length = packet->reportBufferLen < HIDHANDSET_RECORD_BYTES ? packet->reportBufferLen : HIDHANDSET_RECORD_BYTES;
    Lock();
    if (outputs->count == HIDHANDSET_MAX_RECORDED) {
        ++outputs->dropped;
        Unlock();
        return;
    }
    record = &outputs->records[outputs->count++];
    record->reportId = packet->reportId;
    record->length = (UCHAR)length;
    if (packet->reportBuffer) CopyBytes(record->bytes, packet->reportBuffer, length);
    Unlock();
}

/* A device that sits on its output reports. The HID class driver waits for
 * the write in its request, so waiting here is what the host sees of a
 * device that completes late; it waits for nothing else meanwhile. */
static void HoldWrite(CHILD* child)
{
    LARGE_INTEGER delay;
    ULONG ms;
    Lock();
    ms = child->holdWritesMs;
    Unlock();
    if (!ms) return;
    delay.QuadPart = -(LONGLONG)ms * 10000;
    KeDelayExecutionThread(KernelMode, FALSE, &delay);
}

/* ---- The child's HID requests, as the minidriver passes them down. ---- */

static NTSTATUS ChildString(CHILD* child, IRP* irp)
{
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    ULONG id = (ULONG)(ULONG_PTR)stack->Parameters.DeviceIoControl.Type3InputBuffer & 0xffff;
    ULONG room = stack->Parameters.DeviceIoControl.OutputBufferLength / sizeof(WCHAR);
    static const WCHAR maker[] = L"Callvane virtual devices";
    WCHAR serial[8] = L"VH0";
    const WCHAR* text;
    ULONG length;
    if (id == HID_STRING_ID_IMANUFACTURER) text = maker;
    else if (id == HID_STRING_ID_IPRODUCT) text = child->config.product;
    else if (id == HID_STRING_ID_ISERIALNUMBER) {
        serial[2] = (WCHAR)(L'0' + child->slot);
        text = serial;
    } else return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    length = WideLength(text, HIDHANDSET_MAX_PRODUCT - 1);
    if (room < length + 1) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    CopyBytes(irp->UserBuffer, text, length * sizeof(WCHAR));
    ((WCHAR*)irp->UserBuffer)[length] = 0;
    return Complete(irp, STATUS_SUCCESS, (length + 1) * sizeof(WCHAR));
}

static NTSTATUS ChildInternalIoctl(CHILD* child, IRP* irp)
{
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    ULONG room = stack->Parameters.DeviceIoControl.OutputBufferLength;
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_HID_GET_DEVICE_DESCRIPTOR: {
        HIDPORT_DESCRIPTOR descriptor = {sizeof(HIDPORT_DESCRIPTOR), HIDPORT_HID_DESCRIPTOR_TYPE, 0x0111, 0, 1,
                                         HIDPORT_REPORT_DESCRIPTOR_TYPE, child->config.descriptorLength};
        if (room < sizeof(descriptor)) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        CopyBytes(irp->UserBuffer, &descriptor, sizeof(descriptor));
        return Complete(irp, STATUS_SUCCESS, sizeof(descriptor));
    }
    case IOCTL_HID_GET_REPORT_DESCRIPTOR:
        if (room < child->config.descriptorLength) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        CopyBytes(irp->UserBuffer, child->config.descriptor, child->config.descriptorLength);
        return Complete(irp, STATUS_SUCCESS, child->config.descriptorLength);
    case IOCTL_HID_GET_DEVICE_ATTRIBUTES: {
        HIDPORT_DEVICE_ATTRIBUTES attributes = {sizeof(attributes), child->config.vendorId, child->config.productId,
                                                child->config.version, {0}};
        if (room < sizeof(attributes)) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        CopyBytes(irp->UserBuffer, &attributes, sizeof(attributes));
        return Complete(irp, STATUS_SUCCESS, sizeof(attributes));
    }
    case IOCTL_HID_GET_STRING:
        return ChildString(child, irp);
    case IOCTL_HID_READ_REPORT:
        return ReadReport(child, irp);
    case IOCTL_HID_WRITE_REPORT:
    case IOCTL_HID_SET_OUTPUT_REPORT:
    case IOCTL_HID_SET_FEATURE: {
        const HID_XFER_PACKET* packet = irp->UserBuffer ? irp->UserBuffer
                                                        : stack->Parameters.DeviceIoControl.Type3InputBuffer;
        if (!packet) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        HoldWrite(child);
        RecordOutput(child, packet);
        return Complete(irp, STATUS_SUCCESS, packet->reportBufferLen);
    }
    case IOCTL_HID_ACTIVATE_DEVICE:
    case IOCTL_HID_DEACTIVATE_DEVICE:
        return Complete(irp, STATUS_SUCCESS, 0);
    default:
        return Complete(irp, STATUS_NOT_SUPPORTED, 0);
    }
}

/* ---- The child's PnP requests: it is a PDO, so it completes them. ---- */

static NTSTATUS AllocateIds(const WCHAR* text, ULONG length, BOOLEAN multi, ULONG_PTR* out)
{
    ULONG total = length + 1 + (multi ? 1 : 0);
    WCHAR* buffer = ExAllocatePool(PagedPool, total * sizeof(WCHAR));
    if (!buffer) return STATUS_NO_MEMORY;
    CopyBytes(buffer, text, length * sizeof(WCHAR));
    buffer[length] = 0;
    if (multi) buffer[length + 1] = 0;
    *out = (ULONG_PTR)buffer;
    return STATUS_SUCCESS;
}

static NTSTATUS ChildQueryId(CHILD* child, IRP* irp)
{
    static const WCHAR hardwareId[] = L"CALLVANE\\HIDHANDSET";
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    ULONG_PTR result = 0;
    NTSTATUS status;
    WCHAR instance[12];
    ULONG length = 0;
    ULONG value = child->serial;
    WCHAR digits[12];
    ULONG n = 0;
    do {
        digits[n++] = (WCHAR)(L'0' + value % 10);
        value /= 10;
    } while (value && n < ARRAYSIZE(digits));
    while (n) instance[length++] = digits[--n];
    instance[length] = 0;
    switch (stack->Parameters.QueryId.IdType) {
    case BusQueryDeviceID:
        status = AllocateIds(hardwareId, ARRAYSIZE(hardwareId) - 1, FALSE, &result);
        break;
    case BusQueryHardwareIDs:
        status = AllocateIds(hardwareId, ARRAYSIZE(hardwareId) - 1, TRUE, &result);
        break;
    case BusQueryInstanceID:
        status = AllocateIds(instance, length, FALSE, &result);
        break;
    case BusQueryCompatibleIDs:  /* none; Wine's PnP manager wants the empty list, not a refusal */
        status = AllocateIds(L"", 0, TRUE, &result);
        break;
    default:
        return Complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
    }
    return Complete(irp, status, result);
}

static void DeleteChild(CHILD* child)
{
    IoDeleteDevice(child->self);
}

static NTSTATUS ChildPnp(CHILD* child, IRP* irp)
{
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    switch (stack->MinorFunction) {
    case IRP_MN_QUERY_ID:
        return ChildQueryId(child, irp);
    case IRP_MN_START_DEVICE:
        Lock();
        child->removed = FALSE;
        Unlock();
        return Complete(irp, STATUS_SUCCESS, 0);
    case IRP_MN_QUERY_CAPABILITIES: {
        DEVICE_CAPABILITIES* caps = stack->Parameters.DeviceCapabilities.Capabilities;
        caps->Removable = 1;
        caps->SurpriseRemovalOK = 1;
        caps->UniqueID = 1;
        return Complete(irp, STATUS_SUCCESS, 0);
    }
    case IRP_MN_SURPRISE_REMOVAL:
        FailReads(child);
        return Complete(irp, STATUS_SUCCESS, 0);
    case IRP_MN_REMOVE_DEVICE: {
        BOOLEAN gone;
        FailReads(child);
        Lock();
        gone = !child->present;
        if (gone && child->bus && child->bus->children[child->slot] == child) child->bus->children[child->slot] = NULL;
        Unlock();
        Complete(irp, STATUS_SUCCESS, 0);
        if (gone) DeleteChild(child);
        return STATUS_SUCCESS;
    }
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
        return Complete(irp, STATUS_SUCCESS, 0);
    default:
        return Complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
    }
}

/* ---- The bus itself. ---- */

static NTSTATUS ListChildren(BUS_EXT* bus, IRP* irp)
{
    DEVICE_RELATIONS* relations;
    ULONG count = 0;
    ULONG i;
    Lock();
    for (i = 0; i < HIDHANDSET_MAX_DEVICES; ++i)
        if (bus->children[i] && bus->children[i]->present) ++count;
    relations = ExAllocatePool(PagedPool, sizeof(DEVICE_RELATIONS) + count * sizeof(DEVICE_OBJECT*));
    if (!relations) {
        Unlock();
        return Complete(irp, STATUS_NO_MEMORY, 0);
    }
    relations->Count = 0;
    for (i = 0; i < HIDHANDSET_MAX_DEVICES; ++i) {
        CHILD* child = bus->children[i];
        if (!child || !child->present) continue;
        child->reported = TRUE;
        ObfReferenceObject(child->self);
        relations->Objects[relations->Count++] = child->self;
    }
    Unlock();
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->IoStatus.Information = (ULONG_PTR)relations;
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(bus->lower, irp);
}

static NTSTATUS BusPnp(DEVICE_OBJECT* device, BUS_EXT* bus, IRP* irp)
{
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
        IoSetDeviceInterfaceState(&bus->link, TRUE);
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    case IRP_MN_QUERY_DEVICE_RELATIONS:
        if (stack->Parameters.QueryDeviceRelations.Type == BusRelations) return ListChildren(bus, irp);
        break;
    case IRP_MN_SURPRISE_REMOVAL:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_STOP_DEVICE:
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    case IRP_MN_REMOVE_DEVICE: {
        NTSTATUS status;
        ULONG i;
        IoSetDeviceInterfaceState(&bus->link, FALSE);
        RtlFreeUnicodeString(&bus->link);
        for (i = 0; i < HIDHANDSET_MAX_DEVICES; ++i) {
            CHILD* child = bus->children[i];
            if (!child) continue;
            FailReads(child);
            child->bus = NULL;
            bus->children[i] = NULL;
            if (!child->present) continue;
            child->present = FALSE;
            DeleteChild(child);
        }
        irp->IoStatus.Status = STATUS_SUCCESS;
        IoSkipCurrentIrpStackLocation(irp);
        status = IoCallDriver(bus->lower, irp);
        IoDetachDevice(bus->lower);
        IoDeleteDevice(device);
        return status;
    }
    }
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(bus->lower, irp);
}

static void WINAPI RelationsChanged(DEVICE_OBJECT* device, void* context)
{
    BUS_EXT* bus = device->DeviceExtension;
    IoInvalidateDeviceRelations(bus->pdo, BusRelations);
    IoFreeWorkItem(context);
}

/* Wine's PnP manager enumerates the new children within the call, and the
 * arrival it announces goes to the windows of the process that asked: done
 * later, so that the request completes first and no asker is deadlocked. */
static void AnnounceChildren(DEVICE_OBJECT* device, BUS_EXT* bus)
{
    PIO_WORKITEM item = IoAllocateWorkItem(device);
    if (!item) {
        IoInvalidateDeviceRelations(bus->pdo, BusRelations);
        return;
    }
    IoQueueWorkItem(item, RelationsChanged, DelayedWorkQueue, item);
}

static NTSTATUS Plug(DEVICE_OBJECT* busDevice, BUS_EXT* bus, const HIDHANDSET_PLUG_REQUEST* request)
{
    DEVICE_OBJECT* pdo;
    CHILD* child;
    NTSTATUS status;
    BOOLEAN taken;
    if (request->slot >= HIDHANDSET_MAX_DEVICES || !request->descriptorLength ||
        request->descriptorLength > HIDHANDSET_MAX_DESCRIPTOR)
        return STATUS_INVALID_PARAMETER;
    status = IoCreateDevice(busDevice->DriverObject, sizeof(CHILD), NULL, FILE_DEVICE_BUS_EXTENDER,
                            FILE_AUTOGENERATED_DEVICE_NAME, FALSE, &pdo);
    if (status) return status;
    child = pdo->DeviceExtension;
    RtlZeroMemory(child, sizeof(*child));
    child->self = pdo;
    child->bus = bus;
    child->slot = request->slot;
    child->present = TRUE;
    child->config = *request;
    child->config.product[HIDHANDSET_MAX_PRODUCT - 1] = 0;
    pdo->Flags &= ~DO_DEVICE_INITIALIZING;
    /* The slot is checked and filled in one step: of two plugs at once, the
     * second finds it taken and deletes its own device. */
    Lock();
    taken = bus->children[request->slot] != NULL;
    if (!taken) {
        child->serial = ++g_plugs;
        bus->children[request->slot] = child;
    }
    Unlock();
    if (taken) {
        IoDeleteDevice(pdo);
        return STATUS_DEVICE_ALREADY_ATTACHED;
    }
    AnnounceChildren(busDevice, bus);
    return STATUS_SUCCESS;
}

/* The present child in a slot, with a reference that keeps it while the
 * caller uses it (the PnP manager may remove it meanwhile); the caller
 * releases it with ObDereferenceObject. take: out of its slot as well, so
 * that only one unplug gets it. */
static CHILD* ChildInSlot(BUS_EXT* bus, ULONG slot, BOOLEAN take)
{
    CHILD* child;
    if (slot >= HIDHANDSET_MAX_DEVICES) return NULL;
    Lock();
    child = bus->children[slot];
    if (child && !child->present) child = NULL;
    if (child) {
        ObfReferenceObject(child->self);
        if (take) {
            child->present = FALSE;
            bus->children[slot] = NULL;
        }
    }
    Unlock();
    return child;
}

static NTSTATUS Unplug(DEVICE_OBJECT* busDevice, BUS_EXT* bus, ULONG slot)
{
    CHILD* child = ChildInSlot(bus, slot, TRUE);
    BOOLEAN reported;
    if (!child) return STATUS_NO_SUCH_DEVICE;
    FailReads(child);
    Lock();
    reported = child->reported;
    Unlock();
    /* Never listed, the PnP manager will not remove it: it goes here. */
    if (!reported) IoDeleteDevice(child->self);
    ObDereferenceObject(child->self);
    if (reported) AnnounceChildren(busDevice, bus);
    return STATUS_SUCCESS;
}

static NTSTATUS BusIoctl(DEVICE_OBJECT* device, BUS_EXT* bus, IRP* irp)
{
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    void* buffer = irp->AssociatedIrp.SystemBuffer;
    CHILD* child;
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_HIDHANDSET_PLUG:
        if (inSize != sizeof(HIDHANDSET_PLUG_REQUEST)) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        return Complete(irp, Plug(device, bus, buffer), 0);
    case IOCTL_HIDHANDSET_UNPLUG:
        if (inSize != sizeof(ULONG)) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        return Complete(irp, Unplug(device, bus, *(ULONG*)buffer), 0);
    case IOCTL_HIDHANDSET_INPUT: {
        NTSTATUS status;
        if (inSize != sizeof(HIDHANDSET_INPUT_REQUEST)) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        if (!(child = ChildInSlot(bus, ((HIDHANDSET_INPUT_REQUEST*)buffer)->slot, FALSE)))
            return Complete(irp, STATUS_NO_SUCH_DEVICE, 0);
        status = DeliverInput(child, buffer);
        ObDereferenceObject(child->self);
        return Complete(irp, status, 0);
    }
    case IOCTL_HIDHANDSET_HOLD_WRITES: {
        const HIDHANDSET_HOLD_REQUEST* hold = buffer;
        if (inSize != sizeof(HIDHANDSET_HOLD_REQUEST) || hold->milliseconds > HIDHANDSET_MAX_HOLD_MS)
            return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        if (!(child = ChildInSlot(bus, hold->slot, FALSE))) return Complete(irp, STATUS_NO_SUCH_DEVICE, 0);
        Lock();
        child->holdWritesMs = hold->milliseconds;
        Unlock();
        ObDereferenceObject(child->self);
        return Complete(irp, STATUS_SUCCESS, 0);
    }
    case IOCTL_HIDHANDSET_OUTPUTS:
        if (inSize != sizeof(ULONG) || outSize < sizeof(HIDHANDSET_OUTPUTS))
            return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        if (!(child = ChildInSlot(bus, *(ULONG*)buffer, FALSE))) return Complete(irp, STATUS_NO_SUCH_DEVICE, 0);
        Lock();
        CopyBytes(buffer, &child->outputs, sizeof(HIDHANDSET_OUTPUTS));
        child->outputs.count = 0;
        child->outputs.dropped = 0;
        Unlock();
        ObDereferenceObject(child->self);
        return Complete(irp, STATUS_SUCCESS, sizeof(HIDHANDSET_OUTPUTS));
    default:
        return Complete(irp, STATUS_NOT_SUPPORTED, 0);
    }
}

/* ---- Dispatch ---- */

static NTSTATUS WINAPI DispatchPnp(DEVICE_OBJECT* device, IRP* irp)
{
    COMMON_EXT* ext = device->DeviceExtension;
    if (ext->isBus) return BusPnp(device, (BUS_EXT*)ext, irp);
    return ChildPnp((CHILD*)ext, irp);
}

static NTSTATUS WINAPI DispatchIoctl(DEVICE_OBJECT* device, IRP* irp)
{
    COMMON_EXT* ext = device->DeviceExtension;
    if (ext->isBus) return BusIoctl(device, (BUS_EXT*)ext, irp);
    return Complete(irp, STATUS_NOT_SUPPORTED, 0);
}

static NTSTATUS WINAPI DispatchInternalIoctl(DEVICE_OBJECT* device, IRP* irp)
{
    COMMON_EXT* ext = device->DeviceExtension;
    if (ext->isBus) return Complete(irp, STATUS_NOT_SUPPORTED, 0);
    return ChildInternalIoctl((CHILD*)ext, irp);
}

static NTSTATUS WINAPI DispatchCreateClose(DEVICE_OBJECT* device, IRP* irp)
{
    (void)device;
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS WINAPI AddDevice(DRIVER_OBJECT* driver, DEVICE_OBJECT* pdo)
{
    DEVICE_OBJECT* device;
    BUS_EXT* bus;
    NTSTATUS status = IoCreateDevice(driver, sizeof(BUS_EXT), NULL, FILE_DEVICE_BUS_EXTENDER, 0, FALSE, &device);
    if (status) return status;
    bus = device->DeviceExtension;
    RtlZeroMemory(bus, sizeof(*bus));
    bus->common.isBus = TRUE;
    status = IoRegisterDeviceInterface(pdo, &kBusInterface, NULL, &bus->link);
    if (status) {
        IoDeleteDevice(device);
        return status;
    }
    bus->pdo = pdo;
    bus->lower = IoAttachDeviceToDeviceStack(device, pdo);
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

static void WINAPI Unload(DRIVER_OBJECT* driver)
{
    (void)driver;
}

NTSTATUS WINAPI DriverEntry(DRIVER_OBJECT* driver, UNICODE_STRING* registryPath)
{
    (void)registryPath;
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = Unload;
    driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchIoctl;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = DispatchInternalIoctl;
    return STATUS_SUCCESS;
}
