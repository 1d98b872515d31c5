#include "UsbPhone.h"

#include "PhoneIds.h"
#include "framework/AxHost.h"

#include <oleauto.h>

namespace {

// One VARIANT, cleared (a text freed) when it goes; made from the value of
// an argument.
class CVariant {
public:
    CVariant() { VariantInit(&m_v); }
    explicit CVariant(LONG value) : CVariant() { Set(VT_I4).lVal = value; }
    explicit CVariant(short value) : CVariant() { Set(VT_I2).iVal = value; }
    explicit CVariant(bool value) : CVariant() { Set(VT_BOOL).boolVal = value ? VARIANT_TRUE : VARIANT_FALSE; }
    explicit CVariant(const wchar_t* text) : CVariant() { Set(VT_BSTR).bstrVal = SysAllocString(text ? text : L""); }
    ~CVariant() { VariantClear(&m_v); }
    CVariant(const CVariant&) = delete;
    CVariant& operator=(const CVariant&) = delete;

    VARIANT m_v;

private:
    VARIANT& Set(VARTYPE type)
    {
        V_VT(&m_v) = type;
        return m_v;
    }
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
    CVariant arg(nIndex);
    CVariant result;
    if (!InvokeMethod(EnsureHostedControl(m_hWnd), kDispOpenDevice, &arg.m_v, 1, VT_BOOL, &result.m_v))
        return FALSE;
    return V_BOOL(&result.m_v) != VARIANT_FALSE;
}

void CUSBPHONE::CloseDevice()
{
    Call(kDispCloseDevice);
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
    CVariant save(bSave != FALSE);
    CVariant style(nStyle);
    VARIANT values[2] = {save.m_v, style.m_v};
    InvokeMethod(GetHostedControl(m_hWnd), kDispSetRingStyle, values, 2, VT_EMPTY, nullptr);
}

void CUSBPHONE::SignalKeyPress(short nSignal)
{
    Call(kDispSignalKeyPress, CVariant(nSignal).m_v);
}

void CUSBPHONE::SetReady()
{
    Call(kDispSetReady);
}

void CUSBPHONE::ShowNumber(const wchar_t* text)
{
    Call(kDispShowNumber, CVariant(text).m_v);
}

void CUSBPHONE::ShowCallIn(const wchar_t* text)
{
    Call(kDispShowCallIn, CVariant(text).m_v);
}

void CUSBPHONE::ShowInTalk(const wchar_t* text)
{
    Call(kDispShowInTalk, CVariant(text).m_v);
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
    Call(kDispSetLineChannel, CVariant(nChannel).m_v);
}

void CUSBPHONE::SetSpeaker(BOOL bOn)
{
    Call(kDispSetSpeaker, CVariant(bOn != FALSE).m_v);
}

void CUSBPHONE::SetHandsFree(short nOn)
{
    Call(kDispSetHandsFree, CVariant(nOn).m_v);
}

void CUSBPHONE::SetDefaultChannel(short nChannel)
{
    Call(kDispSetDefaultChannel, CVariant(nChannel).m_v);
}

void CUSBPHONE::Call(DISPID id)
{
    InvokeMethod(GetHostedControl(m_hWnd), id, nullptr, 0, VT_EMPTY, nullptr);
}

void CUSBPHONE::Call(DISPID id, VARIANT arg)
{
    InvokeMethod(GetHostedControl(m_hWnd), id, &arg, 1, VT_EMPTY, nullptr);
}
