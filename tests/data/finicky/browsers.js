// Every way of naming a browser.
module.exports = {
  handlers: [
    { match: "a.example", browser: "gOOGLE cHROME" },
    { match: "b.example", browser: "ORG.CHROMIUM.CHROMIUM" },
    { match: "c.example", browser: ["Chromium", "Firefox"] },
    { match: "d.example", browser: { name: "Firefox", profile: "default-release" } },
    { match: "e.example", browser: "Opera “GX”" },
    { match: "f.example", browser: ({ url }) => (url.host.length > 3 ? "Firefox" : "Chromium") },
    { match: "g.example", browser: { profile: "Work" } },
  ],
};
