// Finicky's string matches, each with a host of its own so that none repeats another.
module.exports = {
  handlers: [
    {
      browser: "Firefox",
      match: [
        "https://a.example/*", // scheme and any path: a host rule
        "*.b.example", // subdomains too: a host rule
        "*://c.example/*",
        " \thttp://d.example\t ", // spaces and tabs around
        "localhost:8080",
        "e.example/path/*", // a path: a regex over the whole link
        "*",
        "",
        "https://*.f.example/a?b=(1)+[2]{3}|$^\\",
        "HTTPS://g.example", // only a lower-case scheme is taken off
      ],
    },
  ],
};
