#include "DeviceDialog.h"

#include "res/resource.h"

CDeviceDialog::CDeviceDialog(CCallvaneDlg* pOwner) : CDialog(IDD_DEVICE_DIALOG), m_pOwner(pOwner) {}
