// The same host for the same browser is one rule, whatever the profile; other browsers keep theirs.
module.exports = {
  handlers: [
    { match: "example.com", browser: { name: "Google Chrome", profile: "Work" } },
    { match: "example.com", browser: { name: "Google Chrome", profile: "Person 1" } },
    { match: "example.com", browser: "Firefox" },
    { match: "example.com", browser: "Nowhere" },
    { match: "EXAMPLE.com", browser: "Elsewhere" },
  ],
};
