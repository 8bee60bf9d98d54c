#pragma once

#include <QString>

namespace pfw {

class SettingsSchema;
struct XsdtNode;

// A setting as the user knows it: its label and the group it is listed under, "Auto save
// settings period — Application", for the lists that would otherwise show a raw path.
class SettingLabel final
{
public:
    static QString text(const SettingsSchema *schema, const XsdtNode &node);
    static QString label(const SettingsSchema *schema, const XsdtNode &node);
    // The humanised key of the entry it sits in; empty at the top of the file.
    static QString group(const XsdtNode &node);
};

} // namespace pfw
