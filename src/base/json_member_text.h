#pragma once

#include <QByteArrayView>
#include <QLatin1StringView>

#include <optional>

// A member of a JSON object as the text has it. QJsonDocument reads every number as a double, so a protocol that
// must give a value back exactly as it came (a JSON-RPC request's id of 2^70) takes its text from here. For text
// QJsonDocument has read as one object; the last member of that name when there are several, as QJsonDocument
// keeps. Nothing when the object has no such member, or the text is not an object.
std::optional<QByteArrayView> jsonMemberText(QByteArrayView object, QLatin1StringView name);
