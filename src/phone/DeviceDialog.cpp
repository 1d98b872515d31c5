#include "DeviceDialog.h"

#include "res/resource.h"

CDeviceDialog::CDeviceDialog(CCallvaneDlg* pOwner) : CDialog(IDD_DEVICE_DIALOG), m_pOwner(pOwner) {}

int CDeviceDialog::ReportStatus(uint32_t /*nCode*/, int32_t /*nParam*/)
{
    if (!IsDevicePresent())
        return 0;
    return 1;
}
