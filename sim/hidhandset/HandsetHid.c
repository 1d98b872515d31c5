/* The HID minidriver of each virtual handset: registered with the HID class
 * driver, it passes every minidriver request down to the child device of the
 * bus (HandsetBus.c), which answers them. */
#include "HidPort.h"

static NTSTATUS WINAPI PassDown(DEVICE_OBJECT* device, IRP* irp)
{
    HIDPORT_DEVICE_EXTENSION* ext = device->DeviceExtension;
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(ext->NextDeviceObject, irp);
}

static NTSTATUS WINAPI AddDevice(DRIVER_OBJECT* driver, DEVICE_OBJECT* device)
{
    (void)driver;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

static void WINAPI Unload(DRIVER_OBJECT* driver)
{
    (void)driver;
}

NTSTATUS WINAPI DriverEntry(DRIVER_OBJECT* driver, UNICODE_STRING* registryPath)
{
    HIDPORT_REGISTRATION registration = {HID_REVISION, driver, registryPath, sizeof(ULONG), FALSE, {0}};
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = Unload;
    driver->MajorFunction[IRP_MJ_PNP] = PassDown;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = PassDown;
    return HidRegisterMinidriver(&registration);
}
