// Every other kind of match, flattened in order.
module.exports = {
  handlers: [
    {
      browser: "Firefox",
      match: [
        /^https:\/\/(www\.)?a\.example\//i, // the flag is not carried over
        finicky.matchHostnames(["B.example", " c.example "]), // host names stay as written
        ["d.example", ["e.example", [/f/]], finicky.matchDomains("g.example")],
        (url) => url.host === "x.example",
        undefined,
        42,
        { host: "y.example" },
        // One rule for the same host, whatever its case and spaces; a regex of the same text is another rule.
        "h.example",
        finicky.matchHostnames(" H.EXAMPLE "),
        "H.example/*",
        /h.example/,
      ],
    },
  ],
};
