// A configuration of the kind Finicky's documentation shows, in CommonJS form.
module.exports = {
  defaultBrowser: "Firefox",
  rewrite: [
    {
      match: () => true,
      url: ({ url }) => ({ ...url, search: url.search.replace(/utm_[^&]+&?/g, "") }),
    },
    { match: "*.twitter.com/*", url: (u) => u.href.replace("twitter.com", "nitter.net") },
  ],
  handlers: [
    {
      // Work things open in Chrome's work profile, named as the user sees it.
      match: ["https://github.com/*", "*.atlassian.net", /example\.com\/path/],
      browser: { name: "Google Chrome", profile: "Work" },
    },
    {
      match: finicky.matchHostnames(["meet.google.com", "zoom.us"]),
      browser: "google chrome",
    },
    {
      match: [/^https?:\/\/docs\.python\.org\/.*$/i, "news.ycombinator.com/item*"],
      browser: ["org.chromium.Chromium", "Firefox"],
    },
    {
      match: ({ url }) => url.host.endsWith(".local"),
      browser: "Safari",
    },
    {
      match: "https://GitHub.com/*",
      browser: { name: "GOOGLE-CHROME", profile: "Default" },
    },
  ],
};
