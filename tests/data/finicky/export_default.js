// Finicky 4 style: an ES module with a default export and nothing to route yet.

  export   default {
  defaultBrowser: "Google Chrome",
  options: { logRequests: false },
  handlers: [],
};
