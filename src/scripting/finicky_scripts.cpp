#include "finicky_scripts.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace FinickyScripts {

const QString& shim()
{
    // Line for line as it stands, so that what a configuration evaluates against is the same everywhere.
    static const QString text =
        QStringList{
            uR"(var module = { exports: {} };)"_s,
            uR"(var exports = module.exports;)"_s,
            uR"(var finicky = {)"_s,
            uR"(  matchHostnames: function (list) {)"_s,
            uR"(    return { __lhKind: "hostnames", list: [].concat(list) };)"_s,
            uR"(  },)"_s,
            uR"(  matchDomains: function (list) {)"_s,
            uR"(    return { __lhKind: "hostnames", list: [].concat(list) };)"_s,
            uR"(  },)"_s,
            uR"(  log: function () {},)"_s,
            uR"(  notify: function () {},)"_s,
            uR"(  getKeys: function () { return { shift: false, option: false, command: false, control: false }; },)"_s,
            uR"(  getSystemInfo: function () { return { name: "", localizedName: "", address: "" }; },)"_s,
            uR"(  getUrlParts: function () { return {}; },)"_s,
            uR"(  onUrl: function () {})"_s,
            uR"(};)"_s,
            QString(),
            uR"(function __lhBrowser(value) {)"_s,
            uR"(  if (value == null) return null;)"_s,
            uR"(  if (typeof value === "string") return { name: value, profile: null };)"_s,
            uR"(  if (Array.isArray(value)) return __lhBrowser(value[0]);)"_s,
            uR"(  if (typeof value === "object" && value.name) {)"_s,
            uR"(    return {)"_s,
            uR"(      name: String(value.name),)"_s,
            uR"(      profile: value.profile == null ? null : String(value.profile))"_s,
            uR"(    };)"_s,
            uR"(  })"_s,
            uR"(  return null;)"_s,
            uR"(})"_s,
            QString(),
            uR"(function __lhMatch(value) {)"_s,
            uR"(  if (value == null) return [{ type: "unsupported", value: "an empty match" }];)"_s,
            uR"(  if (Array.isArray(value)) {)"_s,
            uR"(    return value.map(__lhMatch).reduce(function (all, one) { return all.concat(one); }, []);)"_s,
            uR"(  })"_s,
            uR"(  if (typeof value === "string") return [{ type: "glob", value: value }];)"_s,
            uR"(  if (value instanceof RegExp) return [{ type: "regex", value: value.source }];)"_s,
            uR"(  if (typeof value === "object" && value.__lhKind === "hostnames") {)"_s,
            uR"(    return value.list.map(function (host) { return { type: "host", value: String(host) }; });)"_s,
            uR"(  })"_s,
            uR"(  if (typeof value === "function") return [{ type: "unsupported", value: "a match function" }];)"_s,
            uR"(  return [{ type: "unsupported", value: String(value) }];)"_s,
            uR"(})"_s,
            QString(),
            uR"(function __lhExtract() {)"_s,
            uR"(  var config = module.exports || {};)"_s,
            uR"(  var handlers = Array.isArray(config.handlers) ? config.handlers : [];)"_s,
            uR"(  return {)"_s,
            uR"(    defaultBrowser: __lhBrowser(config.defaultBrowser),)"_s,
            uR"(    rewriteCount: Array.isArray(config.rewrite) ? config.rewrite.length : 0,)"_s,
            uR"(    handlers: handlers.map(function (handler) {)"_s,
            uR"(      return { browser: __lhBrowser(handler.browser), matches: __lhMatch(handler.match) };)"_s,
            uR"(    }))"_s,
            uR"(  };)"_s,
            uR"(})"_s,
        }
            .join(u'\n');
    return text;
}

const QString& extensions()
{
    // The shim writes every entry of a host name list as text, so a regular expression would become a host
    // rule named "/…/" that matches nothing. The shim's own answer is kept for everything else; for a regular
    // expression the entry says so, with its source and flags, and the text the shim made of it for a note.
    // The shim's host name lists map one entry to one match, so the entries line up by position.
    static const QString text = uR"((function () {
  var shimMatch = __lhMatch;
  __lhMatch = function (value) {
    var matches = shimMatch(value);
    if (value == null || typeof value !== "object" || value.__lhKind !== "hostnames") return matches;
    return matches.map(function (match, index) {
      var host = value.list[index];
      if (!(host instanceof RegExp)) return match;
      return { type: "hostnameRegex", value: host.source, flags: host.flags, text: match.value };
    });
  };
})();

function __lhExtras() {
  var config = module.exports || {};
  var handlers = Array.isArray(config.handlers) ? config.handlers : [];
  return {
    defaultBrowserIsFunction: typeof config.defaultBrowser === "function",
    handlerRewrites: handlers.filter(function (handler) {
      return handler != null && typeof handler === "object" && handler.url != null;
    }).length
  };
})"_s;
    return text;
}

} // namespace FinickyScripts
