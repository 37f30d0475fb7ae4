import type { FinickyConfig } from "/Applications/Finicky.app/Contents/Resources/finicky.d.ts";

const config: FinickyConfig = {
  defaultBrowser: "Firefox",
  handlers: [{ match: "github.com/*", browser: "Google Chrome" }],
};

export default config;
