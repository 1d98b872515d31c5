// The messenger's window classes, as the program looks for them and the
// stand-in messenger makes them: one list, read by both.
#pragma once

const wchar_t kMainWindowClass[] = L"YahooBuddyMain";
const wchar_t kNotificationClass[] = L"YSlidingTrayWnd";
const wchar_t kBrowserClass[] = L"Internet Explorer_Server";   // the notification's page
const wchar_t kConversationClass[] = L"IMClass";
const wchar_t kSearchWindowClass[] = L"YSearchMenuWndClass";
const wchar_t kCallVoiceClass[] = L"YCallVoice";
const wchar_t kVoiceControlClass[] = L"YVoiceControl";
