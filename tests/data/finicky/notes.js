// Notes in the order of the configuration; a browser that is not installed is named once per spelling.
module.exports = {
  defaultBrowser: "Netscape",
  rewrite: [{ match: "*", url: "https://example.com/" }],
  handlers: [
    { match: "a.example", browser: () => "Firefox" },
    { match: ["b.example", () => true], browser: "Netscape" },
    { match: "c.example", browser: "netscape", url: "https://example.org/" },
    { match: "d.example", browser: () => "Firefox" },
  ],
};
