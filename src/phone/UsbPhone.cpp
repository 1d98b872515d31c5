#include "UsbPhone.h"

#include "PhoneIds.h"
#include "framework/AxHost.h"

#include <oleauto.h>

namespace {

// One VARIANT, cleared (a text freed) when it goes.
class CVariant {
public:
    CVariant() { VariantInit(&m_v); }
    ~CVariant() { VariantClear(&m_v); }
    CVariant(const CVariant&) = delete;
    CVariant& operator=(const CVariant&) = delete;

    static void Long(VARIANT& v, LONG value)
    {
        V_VT(&v) = VT_I4;
        V_I4(&v) = value;
    }
    static void Short(VARIANT& v, short value)
    {
        V_VT(&v) = VT_I2;
        V_I2(&v) = value;
    }
    static void Bool(VARIANT& v, BOOL value)
    {
        V_VT(&v) = VT_BOOL;
        V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    static void Text(VARIANT& v, const wchar_t* text)
    {
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = SysAllocString(text ? text : L"");
    }

    VARIANT m_v;
};

}  // namespace

bool CUSBPHONE::InvokeMethod(IDispatch* control, DISPID id, VARIANT* args, UINT count, VARTYPE resultType,
                             VARIANT* result)
{
    if (!control)
        return false;
    // DISPPARAMS take the arguments last first.
    VARIANT reversed[2];
    if (count > ARRAYSIZE(reversed))
        return false;
    for (UINT i = 0; i < count; ++i)
        reversed[count - 1 - i] = args[i];
    DISPPARAMS params = {count ? reversed : nullptr, nullptr, count, 0};
    CVariant returned;
    HRESULT hr = control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                 resultType == VT_EMPTY ? nullptr : &returned.m_v, nullptr, nullptr);
    if (FAILED(hr))
        return false;
    if (resultType == VT_EMPTY || !result)
        return true;
    return SUCCEEDED(VariantChangeType(result, &returned.m_v, 0, resultType));
}

BOOL CUSBPHONE::OpenDevice(LONG nIndex)
{
    CVariant arg;
    CVariant result;
    CVariant::Long(arg.m_v, nIndex);
    if (!InvokeMethod(EnsureHostedControl(m_hWnd), kDispOpenDevice, &arg.m_v, 1, VT_BOOL, &result.m_v))
        return FALSE;
    return V_BOOL(&result.m_v) != VARIANT_FALSE;
}

void CUSBPHONE::CloseDevice()
{
    InvokeMethod(GetHostedControl(m_hWnd), kDispCloseDevice, nullptr, 0, VT_EMPTY, nullptr);
}

LONG CUSBPHONE::GetDeviceModel()
{
    CVariant result;
    if (!InvokeMethod(GetHostedControl(m_hWnd), kDispGetDeviceModel, nullptr, 0, VT_I4, &result.m_v))
        return 0;
    return V_I4(&result.m_v);
}

void CUSBPHONE::SetRingStyle(BOOL bSave, short nStyle)
{
    CVariant args[2];
    CVariant::Bool(args[0].m_v, bSave);
    CVariant::Short(args[1].m_v, nStyle);
    VARIANT values[2] = {args[0].m_v, args[1].m_v};
    InvokeMethod(GetHostedControl(m_hWnd), kDispSetRingStyle, values, 2, VT_EMPTY, nullptr);
}

void CUSBPHONE::SignalKeyPress(short nSignal)
{
    CVariant arg;
    CVariant::Short(arg.m_v, nSignal);
    InvokeMethod(GetHostedControl(m_hWnd), kDispSignalKeyPress, &arg.m_v, 1, VT_EMPTY, nullptr);
}

void CUSBPHONE::SetReady()
{
    InvokeMethod(GetHostedControl(m_hWnd), kDispSetReady, nullptr, 0, VT_EMPTY, nullptr);
}

void CUSBPHONE::ShowNumber(const wchar_t* text)
{
    CVariant arg;
    CVariant::Text(arg.m_v, text);
    InvokeMethod(GetHostedControl(m_hWnd), kDispShowNumber, &arg.m_v, 1, VT_EMPTY, nullptr);
}

void CUSBPHONE::ShowCallIn(const wchar_t* text)
{
    CVariant arg;
    CVariant::Text(arg.m_v, text);
    InvokeMethod(GetHostedControl(m_hWnd), kDispShowCallIn, &arg.m_v, 1, VT_EMPTY, nullptr);
}

void CUSBPHONE::ShowInTalk(const wchar_t* text)
{
    CVariant arg;
    CVariant::Text(arg.m_v, text);
    InvokeMethod(GetHostedControl(m_hWnd), kDispShowInTalk, &arg.m_v, 1, VT_EMPTY, nullptr);
}

short CUSBPHONE::GetLineChannel()
{
    CVariant result;
    if (!InvokeMethod(GetHostedControl(m_hWnd), kDispGetLineChannel, nullptr, 0, VT_I2, &result.m_v))
        return 0;
    return V_I2(&result.m_v);
}

void CUSBPHONE::SetLineChannel(short nChannel)
{
    CVariant arg;
    CVariant::Short(arg.m_v, nChannel);
    InvokeMethod(GetHostedControl(m_hWnd), kDispSetLineChannel, &arg.m_v, 1, VT_EMPTY, nullptr);
}

void CUSBPHONE::SetSpeaker(BOOL bOn)
{
    CVariant arg;
    CVariant::Bool(arg.m_v, bOn);
    InvokeMethod(GetHostedControl(m_hWnd), kDispSetSpeaker, &arg.m_v, 1, VT_EMPTY, nullptr);
}

void CUSBPHONE::SetHandsFree(short nOn)
{
    CVariant arg;
    CVariant::Short(arg.m_v, nOn);
    InvokeMethod(GetHostedControl(m_hWnd), kDispSetHandsFree, &arg.m_v, 1, VT_EMPTY, nullptr);
}

void CUSBPHONE::SetDefaultChannel(short nChannel)
{
    CVariant arg;
    CVariant::Short(arg.m_v, nChannel);
    InvokeMethod(GetHostedControl(m_hWnd), kDispSetDefaultChannel, &arg.m_v, 1, VT_EMPTY, nullptr);
}
