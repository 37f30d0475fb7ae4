// What Finicky understands and a rule can express, though the plain reduction would lose it.
module.exports = {
  defaultBrowser: ({ opener }) => (opener?.bundleId === "com.tinyspeck.slackmacgap" ? "Google Chrome" : "Firefox"),
  handlers: [
    {
      match: finicky.matchHostnames([/^(www\.)?github\.com$/, "gitlab.com", /localhost:3000/]),
      browser: "Firefox",
    },
    {
      match: "https://meet.google.com/*",
      url: ({ url }) => ({ ...url, search: "authuser=1" }),
      browser: { name: "Google Chrome", profile: "work" },
    },
    {
      match: /zoom\.us/,
      url: "https://zoom.us/",
      browser: { name: "google-chrome", profile: "Profile 1" },
    },
  ],
};
