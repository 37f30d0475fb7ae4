// local_state.json lists: Default "Person 1", Profile 1 "Default", Profile 2 "Work", Profile 3 "Profile 2".
// Finicky looks a profile up by its name first.
module.exports = {
  defaultBrowser: { name: "Google Chrome", profile: "Work" },
  handlers: [
    { match: "name.example", browser: { name: "Google Chrome", profile: "Work" } },
    { match: "name-in-other-case.example", browser: { name: "Google Chrome", profile: "wORK" } },
    { match: "name-of-another-directory.example", browser: { name: "Google Chrome", profile: "Profile 2" } },
    { match: "directory.example", browser: { name: "Google Chrome", profile: "Profile 1" } },
    { match: "directory-before-a-name-in-other-case.example", browser: { name: "Google Chrome", profile: "default" } },
    { match: "unknown.example", browser: { name: "Google Chrome", profile: "Holiday" } },
  ],
};
